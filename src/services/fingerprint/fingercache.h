#pragma once

#include "fingermatcher.h"

#include <QString>

#include <utility>
#include <vector>

namespace cg::finger {

// A 1:N identification cache. Besides the templates it keeps an index of
// local features: for every minutia and each of its nearest neighbours, the
// distance between them, the bearing of the neighbour and its relative
// direction, quantised, with the two minutia types. Each index entry also
// remembers where its minutia lies and which way it points.
//
// A probe looks its own features up (one bin of tolerance in every
// dimension). Every hit says how the probe would have to be turned and moved
// to lie on that template, so it votes for (template, turn, where the
// probe's centre lands). Features of unrelated prints hit by chance but
// scatter their votes; a genuine print piles them up in one place. Only the
// templates with the strongest pile go through the full matcher.
//
// Storage, for stations with tens of thousands of templates: a template is
// kept as four bytes a minutia, in the order the matcher wants them, and is
// prepared for the full matcher only when the index shortlists it. The index
// is kept per segment of 4096 templates as one array of entries, grouped by
// feature key and within a key in template order. Templates added one at a
// time wait in a short list and join the index at the next identification;
// addTexts() decodes and indexes many at once on every core.
//
// Not for concurrent use: identify() works in buffers of the cache.
class IdentificationCache {
public:
    IdentificationCache();

    // Adds one template under id; one id may hold several templates. A
    // minutia outside the coordinate space or of an unknown type is left out.
    void add(int id, const FingerTemplate &t);
    // Adds template texts under their ids, as add(id, DecodeFingerTemplate(text))
    // one after another would, with the same result to the last byte of the
    // index; the texts are decoded and prepared on `threads` threads (0: one
    // per core). Text that is empty or malformed is kept as an empty template,
    // as the engine keeps it. Answers how many texts held a template.
    int addTexts(const std::vector<std::pair<int, QString>> &texts, int threads = 0);
    int size() const { return int(m_ids.size()); }
    // Bytes held for the templates and the index (the search's buffers, some
    // 270 KB whatever the size, not counted).
    size_t memoryBytes() const;

    struct Result {
        int id = -1;
        int score = 0;      // best score found, also when below the threshold
        int processed = 0;  // templates the search went through
        float exactScore = 0; // the best score before rounding
        float runnerUp = 0;   // best score of any other id
        float level = 0;      // what the best score had to reach
        float cohortMean = 0, cohortSd = 0; // scores of the other candidates
    };
    // The open-set decision. A finger nobody enrolled still finds its most
    // alike template in the cache, and the more templates there are, the
    // higher that chance best climbs. So the best id is given only when
    //  - its score reaches the caller's threshold and AcceptLevel(size()),
    //    a level that rises with the logarithm of the number of templates;
    //  - and it leads every other id by at least Margin (chance matches
    //    come in crowds of nearly equal scores, a genuine one stands alone).
    // An id's score is the best of its templates. exhaustive: run the full
    // matcher on every template instead of the index's shortlist.
    Result identify(const FingerTemplate &probe, int threshold, bool exhaustive = false) const;

    // The level a best score must reach among this many templates: the 1:1
    // level for small caches, then 7.5 + 1.5 points for every tenfold of
    // templates (13.5 at 10,000, 13.95 at 20,000). Measured on the simulated
    // presses, a stranger's best score over N templates climbs about that
    // fast, and a genuine press scores far above it (docs/PERFORMANCE.md).
    static float AcceptLevel(int templates);
    static constexpr float OneToOneLevel = 10.0f;
    static constexpr float OpenSetBase = 7.5f;
    static constexpr float OpenSetSlope = 1.5f;
    static constexpr float Margin = 4.0f;

    // The templates the index proposes for a probe, best first (at most
    // Shortlist of them).
    std::vector<int> shortlist(const PreparedTemplate &probe) const;

    static constexpr int Shortlist = 96;

    // The same ids, templates and index.
    friend bool operator==(const IdentificationCache &a, const IdentificationCache &b);

private:
    struct Segment {
        std::vector<quint32> start; // per feature key where its entries begin, and the end
        std::vector<quint32> entries;
    };
    void indexPending() const;
    void prepareSlot(int slot, PreparedTemplate &out) const;
    static void mergeInto(Segment &segment, const quint64 *features, size_t count);

    std::vector<int> m_ids;
    // Every template's minutiae in x order, packed x << 19 | y << 9 |
    // type << 8 | direction; a template's run begins at m_first[slot] and
    // ends at m_first[slot + 1].
    std::vector<quint32> m_minutiae;
    std::vector<quint32> m_first{0};
    // An entry packs the template's place in its segment (12 bits), the
    // minutia's x and y in steps of 5 units (7 bits each) and its direction
    // in 64 steps a turn (6 bits).
    mutable std::vector<Segment> m_segments;
    // Features of templates not yet in the index, in template order:
    // segment << 48 | key << 32 | entry.
    mutable std::vector<quint64> m_pending;
    mutable std::vector<quint8> m_votes;
    mutable PreparedTemplate m_candidate;
};

} // namespace cg::finger
