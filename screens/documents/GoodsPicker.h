#pragma once

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "core/documents/Catalogue.h"
#include "core/documents/GoodsSearch.h"
#include "screens/documents/GoodsRowsModel.h"
#include "screens/widgets/Dialog.h"

namespace velmorant {

// The goods picker: the folder bar with its drop-down folder tree at the top, the goods of
// the open folder below with their quantities (and prices and sums when UseSUMS is "1"),
// quantities typed on the keypad. The editor creates it, calls setClient and Load, shows it
// modally, reads Result after modal result 1, calls ReleaseCatalogue and frees it.
//
// Besides the folder view the list can show two others, both with the goods' folder (or
// the last order) in a second line under each name, and quantities picked there are the
// same picked lines as in the tree:
// - the search (" Поиск ", or typing letters while the goods list has the focus): every
//   goods item of the whole catalogue whose name contains the text of the search field,
//   letter case ignored, in catalogue order; an empty field shows the folder view again,
//   as it was, and Escape in the field closes it;
// - the earlier orders (" Ранее ", only with a client): the goods of the client's other
//   documents, the most recently ordered first, each with its last quantity and date.
class TGoodsPicker : public Dialog {
    Q_OBJECT
public:
    enum class View { Folder, Search, Earlier };

    explicit TGoodsPicker(QWidget* owner = nullptr);
    ~TGoodsPicker() override;

    // Loads the catalogue with the quantities of `chosen` ("GUID<TAB>quantity" lines separated
    // by CR LF), builds the folder tree, opens the first top-level folder and sets up the
    // columns.
    void Load(const std::string& chosen);
    // After confirmation: GUID, TAB, quantity, TAB, name, TAB, price, TAB, sum per chosen item.
    const std::vector<std::string>& Result() const { return m_result; }
    void ReleaseCatalogue();
    // The document's client and the document itself (both may be empty) for " Ранее ",
    // which stays disabled without a client.
    void setClient(const std::string& clientGuid, const std::string& documentGuid);
    const Catalogue& catalogue() const { return m_catalogue; }

    // The screen's actions.
    void enterQuantity();       // " ВВОД ", Enter or a double tap in the goods list
    void confirm();             // " [ Ок ] "
    void openDropDown();        // a tap on the folder bar
    void closeDropDown();       // "X", Escape in the tree, the tree losing the focus
    void openSelectedFolder();  // "OK", Enter or a double tap in the tree
    void openSearch();          // " Поиск ", or a letter typed in the goods list
    void closeSearch();         // Escape in the search field, " Поиск " again
    void search(const QString& text);
    void toggleEarlier();  // " Ранее "

    bool dropDownOpen() const;
    View view() const { return m_view; }
    QLineEdit* searchField() const { return m_search; }
    // The list of the search and the earlier orders, and its rows.
    QTreeView* foundList() const { return m_found; }
    GoodsRowsModel* foundRows() const { return m_foundRows; }
    QAction* searchAction() const { return m_searchAction; }
    QAction* earlierAction() const { return m_earlierAction; }
    QPushButton* folderBar() const { return m_folderBar; }
    QTreeWidget* goodsList() const { return m_goods; }
    // The drop-down's tree, made on first use (its opening, or this call).
    QTreeWidget* folderTree();
    QFrame* dropDown() const { return m_dropDown; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Makes the tree's items once per Load, with the current folder selected.
    void ensureTree();
    // Shows the goods of folder record `folder` and closes the drop-down.
    void openFolder(int folder);
    int startFolder() const;
    QWidget* buildTopBar();
    QWidget* buildSearchPanel();
    QWidget* buildLists();
    void buildDropDown();
    void buildMenu();
    void connectLists();
    void fillRow(QTreeWidgetItem* row);
    int recordOf(const QTreeWidgetItem* item) const;
    QTreeWidget* makeFolderList();
    QTreeView* makeFoundList();
    // Watches the list's keys and gives it the bold context command " ВВОД " (the keypad).
    void addEnterCommand(QAbstractItemView* list);
    void showFolderView();
    void leaveFoundViews();
    void showFound(std::vector<int> records, QStringList notes, View view);
    bool typeToSearch(QKeyEvent* key);
    void folderBarText();

    Catalogue m_catalogue;
    std::vector<std::string> m_result;
    bool m_sums = false;
    int m_quantityColumn = 1;
    int m_priceColumn = -1;
    int m_sumColumn = -1;
    int m_currentFolder = -1;  // the record of the open folder; -1 for none
    bool m_treeBuilt = false;
    std::vector<QTreeWidgetItem*> m_folderItems;  // per folder node, once the tree is made
    View m_view = View::Folder;
    GoodsSearch m_searchIndex;
    std::string m_clientGuid;
    std::string m_documentGuid;

    QPushButton* m_folderBar;
    QWidget* m_dropDownButtons;
    QWidget* m_searchPanel;
    QLineEdit* m_search;
    QStackedWidget* m_pages;
    QTreeWidget* m_goods;
    QTreeView* m_found;
    GoodsRowsModel* m_foundRows;
    QAction* m_searchAction;
    QAction* m_earlierAction;
    QFrame* m_dropDown;
    QTreeWidget* m_tree;
};

}  // namespace velmorant
