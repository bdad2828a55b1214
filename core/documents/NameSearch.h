#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/db/Text.h"

namespace velmorant {

// A list of names held in case-folded form, for searches that ignore letter case in any
// alphabet: one text of all names, each ended by a line feed. The folder is asked once per
// distinct character (case folding is defined character by character). Immutable once
// built; any thread may read it.
class FoldedNames {
public:
    FoldedNames() = default;
    // Folds `names`; a line break inside a name is read as a blank.
    FoldedNames(const std::vector<std::string_view>& names, const CaseFolder& fold);

    std::size_t size() const { return m_offsets.empty() ? 0 : m_offsets.size() - 1; }
    bool empty() const { return size() == 0; }
    // The folded name `i` (0 <= i < size()).
    std::string_view at(std::size_t i) const {
        return std::string_view(m_text).substr(m_offsets[i], m_offsets[i + 1] - m_offsets[i] - 1);
    }
    bool Contains(std::size_t i, std::string_view foldedNeedle) const;
    bool StartsWith(std::size_t i, std::string_view foldedNeedle) const {
        return at(i).substr(0, foldedNeedle.size()) == foldedNeedle;
    }

    // The indexes of every name that contains `foldedNeedle`, in list order, found in one
    // pass over the whole text (an empty needle: every name).
    void FindAll(std::string_view foldedNeedle, std::vector<int>& found) const;

private:
    std::string m_text;                    // every folded name followed by a line feed
    std::vector<std::uint32_t> m_offsets;  // where each name starts; one more at the end
};

// The name to select for the typed `foldedText`: the first (in list order) that begins with
// it, otherwise the first that contains it; -1 when none does. An empty text finds the first.
int FindFirstByName(const FoldedNames& names, std::string_view foldedText);

}  // namespace velmorant
