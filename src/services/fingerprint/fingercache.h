#pragma once

#include "fingermatcher.h"

#include <QString>

#include <vector>

namespace cg::finger {

// A 1:N identification cache. Besides the prepared templates it keeps an
// index of local features: for every minutia and each of its nearest
// neighbours, the distance between them, the bearing of the neighbour and
// its relative direction, quantised, with the two minutia types. A probe
// looks its own features up (with one bin of tolerance in every
// dimension) and votes for (template, relative rotation); only the
// templates with the strongest votes go through the full matcher.
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

    // How many index candidates go through the full matcher.
    static constexpr int Shortlist = 48;

private:
    std::vector<int> m_ids;
    std::vector<PreparedTemplate> m_templates;
    std::vector<std::vector<quint32>> m_index; // per feature key: slot << 8 | centre direction
    mutable std::vector<quint16> m_votes;
};

} // namespace cg::finger
