#pragma once

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>
#include <string>

#include "core/documents/Document.h"
#include "screens/widgets/Form.h"

namespace velmorant {

class Clock;

// The document editor "Заявка": the header tab (state, shipment date, client, note, client
// information) and the lines tab (goods, quantity and, with UseSUMS "1", the sum). It owns
// the document it shows. An ordinary non-modal window over the journal: every attempt to
// close it follows the closing rule (a changed document asks "Документ изменен. Сохранить?"),
// and when it does close it runs the refresh handler (the journal's refresh()).
// The editor dates new documents, and stamps what it saves, by its clock.
// User-interface thread only.
class DocumentEditor : public Form {
    Q_OBJECT
public:
    // `clock` outlives the editor.
    explicit DocumentEditor(const Clock& clock, QWidget* parent = nullptr);

    // Reads the document `guid` (empty: stays a new document) and shows it; false when it
    // could not be read whole, the failure having been shown: such a document is not to be
    // opened for saving.
    bool LoadDocument(const std::string& guid);
    // Shows `draft`, a document not stored yet (a repeated order), with the client's
    // information `clientInfo`; its Modified flag is kept, so closing asks before losing it.
    void loadDraft(const TDocHead& draft, const std::string& clientInfo);

    // What runs when the window closes (the journal's refresh).
    // Run as the editor closes, with the GUID of its document (empty when it was never stored).
    void setRefreshHandler(std::function<void(const std::string&)> refresh) {
        m_refresh = std::move(refresh);
    }

    TDocHead& document() { return m_doc; }
    const TDocHead& document() const { return m_doc; }

    // The screen's actions.
    void chooseClient();         // the "..." button
    void editQuantity(int row);  // a double tap on the selected line
    void pickGoods();            // "Подбор"
    bool save();                 // "Записать"
    void saveAndClose();         // "Ок"

    QTabWidget* tabs() const { return m_tabs; }
    QTreeWidget* linesList() const { return m_lines; }
    QLabel* statusLabel() const { return m_status; }
    QLineEdit* clientField() const { return m_client; }
    QLabel* clientInfo() const { return m_info; }
    QDateEdit* datePicker() const { return m_date; }
    QPlainTextEdit* noteField() const { return m_note; }
    QToolButton* clientButton() const { return m_clientButton; }
    // Under the lines: the running quantity and, with sums, the running sum.
    QLabel* totalLabel() const { return m_total; }
    QAction* pickAction() const { return m_pick; }

    static constexpr int kHeaderTab = 0;
    static constexpr int kLinesTab = 1;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    QWidget* buildHeaderTab();
    QWidget* buildDatePanel(QWidget* header);
    QWidget* buildClientPanel(QWidget* header);
    QWidget* buildNotePanel(QWidget* header);
    QWidget* buildLinesTab();
    void connectControls();
    void showDocument();
    void fillLines();
    void showTotals();
    void fillLine(QTreeWidgetItem* item, const TDocLine& line);
    void ensureSumColumn();
    void tabChanged(int index);

    const Clock& m_clock;
    TDocHead m_doc;
    std::function<void(const std::string&)> m_refresh;
    bool m_filling = false;
    bool m_hasSumColumn = false;

    QTabWidget* m_tabs;
    QLabel* m_status;
    QLabel* m_info;
    QLabel* m_dateLabel;
    QDateEdit* m_date;
    QLabel* m_clientLabel;
    QLineEdit* m_client;
    QToolButton* m_clientButton;
    QLabel* m_noteCaption;
    QPlainTextEdit* m_note;
    QTreeWidget* m_lines;
    QLabel* m_total;
    QAction* m_pick;
    QAction* m_separator;
};

// Creates a hidden editor over `parent` on the document `guid` (empty: a new document),
// reading the time from `clock`. When it closes it runs `refresh` (the journal's refresh())
// with its document's GUID and then deletes itself. The caller shows it.
QWidget* CreateDocumentEditor(QWidget& parent, const std::string& guid, const Clock& clock,
                              std::function<void(const std::string&)> refresh);
// The same for a document not stored yet (see loadDraft).
QWidget* CreateDraftEditor(QWidget& parent, const TDocHead& draft, const std::string& clientInfo,
                           const Clock& clock, std::function<void(const std::string&)> refresh);

}  // namespace velmorant
