#include "core/documents/GoodsSearch.h"

#include "core/db/Text.h"

namespace velmorant {

void GoodsSearch::Reset(const Catalogue& catalogue) {
    m_catalogue = &catalogue;
    m_built = false;
    m_names = FoldedNames();
    m_recordOf.clear();
    m_lastNeedle.clear();
    m_lastHits.clear();
    m_result.clear();
}

void GoodsSearch::Build() {
    m_built = true;
    if (!m_catalogue) return;
    std::vector<std::string_view> names;
    const std::vector<TTreeData>& records = m_catalogue->Records();
    names.reserve(records.size());
    m_recordOf.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].isFolder()) continue;
        names.push_back(records[i].ANAME);
        m_recordOf.push_back(static_cast<int>(i));
    }
    m_names = FoldedNames(names, m_fold);
}

const std::vector<int>& GoodsSearch::Find(std::string_view text) {
    m_result.clear();
    if (Trim(text).empty()) {
        m_lastNeedle.clear();
        m_lastHits.clear();
        return m_result;
    }
    if (!m_built) Build();
    const std::string needle = m_fold(text);

    std::vector<int> hits;
    // A name that holds the longer text holds every part of it, so the hits of a text that
    // this one contains are all the candidates there can be.
    if (!m_lastNeedle.empty() && needle.find(m_lastNeedle) != std::string::npos) {
        for (int i : m_lastHits) {
            if (m_names.Contains(static_cast<std::size_t>(i), needle)) hits.push_back(i);
        }
    } else {
        m_names.FindAll(needle, hits);
    }
    m_result.reserve(hits.size());
    for (int i : hits) m_result.push_back(m_recordOf[static_cast<std::size_t>(i)]);
    m_lastNeedle = needle;
    m_lastHits = std::move(hits);
    return m_result;
}

}  // namespace velmorant
