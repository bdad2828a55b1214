#pragma once

#include <QFrame>
#include <QPushButton>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "documents/Catalogue.h"
#include "ui/Dialog.h"

namespace velmorant {

// The goods picker: the folder bar with its drop-down folder tree at the top, the goods of
// the open folder below with their quantities (and prices and sums when UseSUMS is "1"),
// quantities typed on the keypad. The editor creates it, calls Load, shows it modally, reads
// Result after modal result 1, calls ReleaseCatalogue and frees it.
class TGoodsPicker : public Dialog {
    Q_OBJECT
public:
    explicit TGoodsPicker(QWidget* owner = nullptr);
    ~TGoodsPicker() override;

    // Loads the catalogue with the quantities of `chosen` ("GUID<TAB>quantity" lines separated
    // by CR LF), builds the folder tree, opens the first top-level folder and sets up the
    // columns.
    void Load(const std::string& chosen);
    // After confirmation: GUID, TAB, quantity, TAB, name, TAB, price, TAB, sum per chosen item.
    const std::vector<std::string>& Result() const { return m_result; }
    void ReleaseCatalogue() { m_catalogue.Release(); }
    const TCatalogue& catalogue() const { return m_catalogue; }

    // The screen's actions.
    void enterQuantity();       // " ВВОД ", Enter or a double tap in the goods list
    void confirm();             // " [ Ок ] "
    void openDropDown();        // a tap on the folder bar
    void closeDropDown();       // "X", Escape in the tree, the tree losing the focus
    void openSelectedFolder();  // "OK", Enter or a double tap in the tree

    bool dropDownOpen() const;
    QPushButton* folderBar() const { return m_folderBar; }
    QTreeWidget* goodsList() const { return m_goods; }
    QTreeWidget* folderTree() const { return m_tree; }
    QFrame* dropDown() const { return m_dropDown; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildTree();
    void fillRow(QTreeWidgetItem* row);
    int recordOf(const QTreeWidgetItem* item) const;

    TCatalogue m_catalogue;
    std::vector<std::string> m_result;
    bool m_sums = false;
    int m_quantityColumn = 1;
    int m_priceColumn = -1;
    int m_sumColumn = -1;
    QTreeWidgetItem* m_currentFolder = nullptr;

    QPushButton* m_folderBar;
    QWidget* m_dropDownButtons;
    QTreeWidget* m_goods;
    QFrame* m_dropDown;
    QTreeWidget* m_tree;
};

}  // namespace velmorant
