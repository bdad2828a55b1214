#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/documents/Catalogue.h"
#include "core/documents/NameSearch.h"

namespace velmorant {

// The goods picker's search over the whole catalogue: every goods item (never a folder)
// whose name contains the typed text, letter case ignored, in catalogue order (the order of
// UNAME). The folded names are built on the first search after Reset and kept while the
// catalogue stays the same; a text that extends the one before (each typed letter) is looked
// for among the previous hits only. User-interface thread only.
class GoodsSearch {
public:
    explicit GoodsSearch(CaseFolder fold) : m_fold(std::move(fold)) {}

    // Forgets what was built; the next Find reads `catalogue`, which must outlive the use.
    // Call it whenever the catalogue was loaded or released.
    void Reset(const Catalogue& catalogue);

    // Record indexes (into catalogue.Records()) of the goods whose ANAME contains `text`
    // without regard to letter case, in catalogue order. A text of blanks only, or none,
    // gives no goods: the picker then shows its folders again.
    const std::vector<int>& Find(std::string_view text);

    // Builds the folded names now (the first Find would otherwise): the picker does it as
    // soon as it is shown, so that the agent's first letter finds them ready.
    void Prepare() {
        if (!m_built) Build();
    }
    // True once the folded names have been built.
    bool Built() const { return m_built; }

private:
    void Build();

    CaseFolder m_fold;
    const Catalogue* m_catalogue = nullptr;
    bool m_built = false;
    FoldedNames m_names;
    std::vector<int> m_recordOf;  // per folded name: its record index
    std::string m_lastNeedle;     // the folded text of the last search, "" for none
    std::vector<int> m_lastHits;  // the positions in m_names it found
    std::vector<int> m_result;
};

}  // namespace velmorant
