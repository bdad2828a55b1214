#include "core/documents/Catalogue.h"

#include <climits>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"

namespace velmorant {

std::int32_t ReadLeadingInt(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) < 33) text.remove_prefix(1);
    const std::string_view t = text;
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        negative = t[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        // Held at the range's ends: an absurd ID must not overflow into another one.
        if (value <= INT32_MAX) value = value * 10 + (t[i] - '0');
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

bool Catalogue::Load(const std::string& chosen) {
    Release();
    // The rows are taken as the library hands them over, sorted by UNAME, each read once
    // straight into its record.
    bool read = false;
    if (auto q = TQueryResult::Create(DatabasePath(), true)) {
        read = q->ExecRows(kSelect, [this](const ResultRow& row) {
            AddRow(row.Value(0), row.Value(5), row.Value(4), std::string(row.Value(1)),
                   std::string(row.Value(2)), std::string(row.Value(3)), std::string(row.Value(6)));
        });
    }
    if (!read) m_records.clear();  // a catalogue read in part is not shown
    LinkParents();
    ApplyChosen(chosen);
    BuildTree();
    return read;
}

namespace {
// Trims in place; most texts need nothing, so nothing is copied for them.
std::string Trimmed(std::string text) {
    auto below33 = [](char c) { return static_cast<unsigned char>(c) < 33; };
    if (!text.empty() && (below33(text.front()) || below33(text.back()))) return Trim(text);
    return text;
}
}  // namespace

void Catalogue::AddRow(std::string_view id, std::string_view rootId, std::string_view isFolder,
                       std::string aname, std::string uname, std::string guid,
                       const std::string& price) {
    const std::int32_t recordId = ReadLeadingInt(id);
    if (recordId < 1) return;
    TTreeData r;
    r.ID = recordId;
    r.ROOTID = ReadLeadingInt(rootId);
    if (r.ROOTID < 0) r.ROOTID = 0;
    r.IS_FOLDER = ReadLeadingInt(isFolder);
    r.ANAME = Trimmed(std::move(aname));
    r.UNAME = Trimmed(std::move(uname));
    r.GUID = Trimmed(std::move(guid));
    r.PRICE = TextToMoney(price, 0);
    m_records.push_back(std::move(r));
}

void Catalogue::LinkParents() {
    // The first record of each ID, found in one pass: a scan per row would make the link
    // quadratic in the catalogue size.
    std::unordered_map<std::int32_t, int> firstById;
    firstById.reserve(m_records.size());
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        firstById.emplace(m_records[i].ID, static_cast<int>(i));
    }
    m_goodsByParent.assign(m_records.size(), {});
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        TTreeData& r = m_records[i];
        r.parent = -1;
        if (r.ROOTID <= 0) continue;
        auto it = firstById.find(r.ROOTID);
        if (it == firstById.end()) continue;
        r.parent = it->second;
        if (!r.isFolder()) m_goodsByParent[static_cast<std::size_t>(r.parent)].push_back(int(i));
    }
}

void Catalogue::ApplyChosen(const std::string& chosen) {
    if (chosen.empty() || m_records.empty()) return;
    std::unordered_map<std::string, int> firstByGuid;
    firstByGuid.reserve(m_records.size());
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        firstByGuid.emplace(m_records[i].GUID, static_cast<int>(i));
    }
    std::size_t start = 0;
    while (start < chosen.size()) {
        std::size_t end = chosen.find('\n', start);
        if (end == std::string::npos) end = chosen.size();
        const std::string line = chosen.substr(start, end - start);
        start = end + 1;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;  // no quantity: nothing to apply
        auto it = firstByGuid.find(Trim(std::string_view(line).substr(0, tab)));
        if (it == firstByGuid.end()) continue;
        SetQuantity(it->second, TextToMoney(line.substr(tab + 1), 0));
    }
}

void Catalogue::BuildTree() {
    m_folders.clear();
    m_topFolders.clear();
    // Folders by the ROOTID they name, each list in catalogue order.
    std::unordered_map<std::int32_t, std::vector<int>> foldersByRoot;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i].isFolder()) foldersByRoot[m_records[i].ROOTID].push_back(int(i));
    }
    auto top = foldersByRoot.find(0);
    if (top == foldersByRoot.end()) return;

    // Depth first without recursion, so that a deep chain of folders cannot exhaust the
    // stack. A folder whose ID is already on the path would start a cycle; a record already
    // placed (reachable twice through duplicate IDs) would repeat a whole subtree.
    struct Frame {
        int node;
        const std::vector<int>* candidates;
        std::size_t next;
    };
    static const std::vector<int> kNone;
    std::vector<char> placed(m_records.size(), 0);
    std::unordered_set<std::int32_t> idsOnPath;
    std::vector<Frame> stack;
    stack.push_back({-1, &top->second, 0});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= frame.candidates->size()) {
            if (frame.node >= 0) {
                const int rec = m_folders[static_cast<std::size_t>(frame.node)].record;
                idsOnPath.erase(m_records[static_cast<std::size_t>(rec)].ID);
            }
            stack.pop_back();
            continue;
        }
        const int rec = (*frame.candidates)[frame.next++];
        const int parentNode = frame.node;
        const std::int32_t id = m_records[static_cast<std::size_t>(rec)].ID;
        if (placed[static_cast<std::size_t>(rec)] || idsOnPath.count(id)) continue;
        placed[static_cast<std::size_t>(rec)] = 1;
        const int node = static_cast<int>(m_folders.size());
        m_folders.push_back({rec, parentNode, {}});
        if (parentNode < 0) {
            m_topFolders.push_back(node);
        } else {
            m_folders[static_cast<std::size_t>(parentNode)].children.push_back(node);
        }
        idsOnPath.insert(id);
        auto kids = foldersByRoot.find(id);
        stack.push_back({node, kids == foldersByRoot.end() ? &kNone : &kids->second, 0});
    }
}

void Catalogue::Release() {
    m_records.clear();
    m_records.shrink_to_fit();
    m_folders.clear();
    m_topFolders.clear();
    m_goodsByParent.clear();
}

const std::vector<int>& Catalogue::GoodsOf(int folder) const {
    static const std::vector<int> kNone;
    if (folder < 0 || static_cast<std::size_t>(folder) >= m_goodsByParent.size()) return kNone;
    return m_goodsByParent[static_cast<std::size_t>(folder)];
}

const std::string& Catalogue::FolderName(int index) const {
    static const std::string kNone;
    if (index < 0 || static_cast<std::size_t>(index) >= m_records.size()) return kNone;
    const int parent = m_records[static_cast<std::size_t>(index)].parent;
    if (parent < 0) return kNone;
    return m_records[static_cast<std::size_t>(parent)].ANAME;
}

std::vector<int> Catalogue::FindGoods(const std::vector<std::string>& guids) const {
    std::unordered_map<std::string_view, int> wanted;
    for (const std::string& g : guids) wanted.emplace(g, -1);
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i].isFolder()) continue;
        auto it = wanted.find(m_records[i].GUID);
        if (it != wanted.end() && it->second < 0) it->second = static_cast<int>(i);
    }
    std::vector<int> found;
    found.reserve(guids.size());
    for (const std::string& g : guids) found.push_back(wanted[g]);
    return found;
}

void Catalogue::SetQuantity(int index, Money quantity) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_records.size()) return;
    TTreeData& r = m_records[static_cast<std::size_t>(index)];
    r.quantity = quantity;
    r.sum = MoneyMul(quantity, r.PRICE);
}

std::vector<std::string> Catalogue::ResultLines() const {
    std::vector<std::string> lines;
    for (const TTreeData& r : m_records) {
        if (r.quantity == 0) continue;
        lines.push_back(r.GUID + '\t' + MoneyToText(r.quantity, 2, false) + '\t' + r.ANAME + '\t' +
                        MoneyToText(r.PRICE, 2, false) + '\t' + MoneyToText(r.sum, 2, false));
    }
    return lines;
}

}  // namespace velmorant
