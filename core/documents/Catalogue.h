#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/db/Money.h"

namespace velmorant {

// One row of SPR_GOODS as the goods picker holds it: a folder or a goods item.
struct TTreeData {
    std::int32_t ID = 0;         // always 1 or more
    std::int32_t ROOTID = 0;     // parent folder's ID; 0 = top level (negative read as 0)
    std::int32_t IS_FOLDER = 0;  // non-zero: folder
    std::string ANAME;           // shown everywhere and returned to the editor
    std::string UNAME;           // only the sort key of the query
    std::string GUID;            // the key by which picker and editor match goods
    Money PRICE = 0;
    Money quantity = 0;  // chosen quantity; 0 = not chosen
    Money sum = 0;       // quantity x price div 10 000, kept up to date by SetQuantity
    int parent = -1;     // index of the first record whose ID equals ROOTID; -1 for none

    bool isFolder() const { return IS_FOLDER != 0; }
};

// One item of the folder tree: a folder record and the folders shown under it.
struct FolderNode {
    int record = -1;            // index into Catalogue::Records()
    int parentNode = -1;        // index into Catalogue::Folders(); -1 for a top-level folder
    std::vector<int> children;  // node indexes, in catalogue order
};

// The goods catalogue of the goods picker: every row of SPR_GOODS in the order of UNAME,
// the parent links, the chosen quantities and the folder tree. The picker owns one while it
// is open; nothing is cached between openings.
//
// The catalogue is expected to have unique IDs and no folder that is its own ancestor, but
// the office sends what it sends: with duplicate IDs the parent links follow the first record
// with that ID, a folder whose ID is already on its own path is not entered again, and no
// folder record is placed in the tree twice. Building stays linear in the catalogue size.
// Not thread-safe: used from the user-interface thread only.
class Catalogue {
public:
    // The SELECT the catalogue is read with. It reads the table straight through and sorts
    // it: walking the index on UNAME would fetch each of the rows from the table on its own,
    // which costs half as much again on a catalogue of 100 000 goods. The order is the same
    // either way (rowid decides between equal names).
    static constexpr const char* kSelect =
        "select ID, ANAME, UNAME, GUID, IS_FOLDER, ROOTID, PRICE from SPR_GOODS not indexed "
        "order by UNAME, rowid";

    // Releases what was held, reads SPR_GOODS on the global database path, links parents,
    // applies `chosen` (lines "GUID<TAB>quantity" separated by CR LF) and builds the folder
    // tree. Returns false when the query failed (the library's message has been shown); the
    // catalogue is then empty but `chosen` has nothing to apply to either.
    bool Load(const std::string& chosen);

    // The steps of Load, for callers that bring their rows from elsewhere. AddRow reads the
    // texts as the table holds them and skips a row whose ID is below 1.
    void AddRow(std::string_view id, std::string_view rootId, std::string_view isFolder,
                std::string aname, std::string uname, std::string guid, const std::string& price);
    void LinkParents();
    void ApplyChosen(const std::string& chosen);
    void BuildTree();

    // Frees every record and the tree.
    void Release();

    const std::vector<TTreeData>& Records() const { return m_records; }
    const std::vector<FolderNode>& Folders() const { return m_folders; }
    const std::vector<int>& TopFolders() const { return m_topFolders; }

    // Indexes of the goods items whose parent is the record `folder`, in catalogue order.
    // Goods of its sub-folders are not included. Empty for an index out of range.
    const std::vector<int>& GoodsOf(int folder) const;

    // The ANAME of the folder that holds record `index` (its parent); empty when it has none.
    const std::string& FolderName(int index) const;

    // For each of `guids`: the first goods item (not a folder) in catalogue order whose GUID
    // is exactly that text; -1 when there is none.
    std::vector<int> FindGoods(const std::vector<std::string>& guids) const;

    // Sets the quantity of record `index` and its sum (quantity x price div 10 000).
    void SetQuantity(int index, Money quantity);

    // One line per record with a quantity other than 0, in catalogue order, including goods
    // that the tree never shows: GUID, TAB, quantity, TAB, ANAME, TAB, price, TAB, sum, the
    // amounts with two decimals and never blank.
    std::vector<std::string> ResultLines() const;

private:
    std::vector<TTreeData> m_records;
    std::vector<FolderNode> m_folders;
    std::vector<int> m_topFolders;
    std::vector<std::vector<int>> m_goodsByParent;  // per record: its direct goods
};

// Reads an integer as the catalogue does: trimmed, an optional sign, then the decimal digits
// up to the first character that is not one; no digits give 0 ("12.0" reads 12). Values
// beyond the 32-bit range are held at its ends.
std::int32_t ReadLeadingInt(std::string_view text);

}  // namespace velmorant
