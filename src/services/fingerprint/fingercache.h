#pragma once

#include "fingermatcher.h"

#include <QString>

#include <vector>

namespace cg::finger {

// A 1:N identification cache. Besides the prepared templates it keeps an
// index of local features: for every minutia and each of its nearest
// neighbours, the distance between them, the bearing of the neighbour and
// its relative direction, quantised, with the two minutia types. Each index
// entry also remembers where its minutia lies and which way it points.
//
// A probe looks its own features up (one bin of tolerance in every
// dimension). Every hit says how the probe would have to be turned and moved
// to lie on that template, so it votes for (template, turn, where the
// probe's centre lands). Features of unrelated prints hit by chance but
// scatter their votes; a genuine print piles them up in one place. Only the
// templates with the strongest pile go through the full matcher.
class IdentificationCache {
public:
    IdentificationCache();

    void add(int id, const FingerTemplate &t);
    int size() const { return int(m_templates.size()); }

    struct Result {
        int id = -1;
        int score = 0;      // best score found, also when below the threshold
        int processed = 0;  // templates the search went through
    };
    // exhaustive: run the full matcher on every template.
    Result identify(const FingerTemplate &probe, int threshold, bool exhaustive = false) const;

    // The templates the index proposes for a probe, best first (at most
    // Shortlist of them).
    std::vector<int> shortlist(const PreparedTemplate &probe) const;

    static constexpr int Shortlist = 48;

private:
    std::vector<int> m_ids;
    std::vector<PreparedTemplate> m_templates;
    // The index, per segment of 4096 templates and per feature key, in
    // template order. An entry packs the template's place in its segment
    // (12 bits), the minutia's x and y in steps of 5 units (7 bits each)
    // and its direction in 64 steps a turn (6 bits).
    std::vector<std::vector<std::vector<quint32>>> m_segments;
    mutable std::vector<quint8> m_votes;
};

} // namespace cg::finger
