#pragma once

#include <QLineEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <string>

#include "core/documents/NameSearch.h"
#include "screens/widgets/Dialog.h"

namespace velmorant {

// The directory window "Справочник": the clients of SPR_CLIENTS (no folders) in UNAME order,
// found by typing the beginning of a name, or else a part of it. A client on whom shipment is
// forbidden (IS_DELETED "1") is refused. Modal result 1 on a choice, 2 otherwise.
class ClientPicker : public Dialog {
    Q_OBJECT
public:
    explicit ClientPicker(QWidget* owner = nullptr);

    // Fills the list from `table` with the row of `selectedGuid` (trimmed) selected.
    void fill(const std::string& table, const std::string& selectedGuid);

    const std::string& selectedGuid() const { return m_guid; }
    const std::string& selectedName() const { return m_name; }
    const std::string& selectedInfo() const { return m_info; }

    QLineEdit* searchField() const { return m_search; }
    QTreeWidget* list() const { return m_list; }

    // "[ Выбрать ]" and "[ Отмена ]".
    void choose();
    void cancel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void search(const QString& text);
    void fitColumns(int firstColumnWidth);

    QLineEdit* m_search;
    QToolButton* m_searchButton;
    QTreeWidget* m_list;
    FoldedNames m_names;  // the names of the rows, folded, in row order
    std::string m_guid;
    std::string m_name;
    std::string m_info;
};

// Lets the agent choose a client over `owner`. guid, name and info take the picker's
// selection whatever the outcome; true only when a client was chosen.
bool PickClient(std::string& guid, std::string& name, std::string& info, QWidget* owner);

}  // namespace velmorant
