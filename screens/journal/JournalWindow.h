#pragma once

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTableView>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "core/db/Dates.h"
#include "core/journal/JournalRows.h"
#include "screens/journal/JournalScreens.h"
#include "screens/widgets/Form.h"
#include "screens/widgets/ImageList.h"

namespace velmorant {

class Clock;

// True when the office has sent neither clients nor goods yet (a new device).
bool DirectoriesEmpty();
class JournalRowsModel;

// The main window: the documents of one period, one row per document with its state icon,
// and the menu that starts every other screen (through the JournalScreens it was given).
//
// Columns: " " (state icon, the row text is two blanks and the GUID), "Дата" (dd.MM),
// "Клиент", "Кол-во" and, when UseSUMS was "1" at creation, "Сумма". Rows come in the
// table's stored order. The window is created hidden with the period today..today (by its
// clock, which also tells the period dialog what today is) and loads
// its rows once, one second after creation (the load timer); after that only the menu, the
// editor (refresh()) and the period dialog reload it. A close request asks
// "Завершить работу?"; Yes runs the quit handler (by default the event loop ends with 0).
// Messages go through the core's notifier(). User-interface thread only.
class JournalWindow : public Form {
    Q_OBJECT
public:
    static constexpr int kLoadDelayMs = 1000;
    static constexpr int kStateColumn = 0;
    static constexpr int kDateColumn = 1;
    static constexpr int kClientColumn = 2;
    static constexpr int kWeightColumn = 3;
    static constexpr int kSumColumn = 4;

    // `screens` are the screens its menu starts; `clock`, which outlives the window, tells
    // what day it is.
    explicit JournalWindow(JournalScreens screens, const Clock& clock, QWidget* parent = nullptr);
    ~JournalWindow() override;

    // Reloads the period; when the day changed since the last refresh, first asks whether
    // to switch the period to the new day (once per change of day). With `changedGuid`, the
    // one document that changed since the last load (the editor's), only its rows are read
    // again when the period is the one loaded.
    void refresh(const std::string& changedGuid = std::string());
    // Fills the list with the documents whose REC_TIME lies in start..end (start 0: all).
    void loadRows(DateTime start, DateTime end);

    // The menu actions.
    void newDocument();
    void editDocument();
    void deleteDocument();
    void choosePeriod();
    void openExchange();
    void openSettings();
    void openAbout();
    // " Повторить ": the editor on a new, unsaved copy of the selected document.
    void repeatDocument();
    // " Сообщения ": the office's messages; afterwards the count of unread ones is renewed.
    void openMessages();
    // Shows the count of unread messages in the caption of " Сообщения ".
    void updateMessagesCaption();
    QAction* messagesAction() const { return m_messagesAction; }

    DateTime periodStart() const { return m_periodStart; }
    DateTime periodEnd() const { return m_periodEnd; }
    DateTime lastSeenDay() const { return m_lastSeenDay; }
    // The trimmed GUID of each listed document, in row order.
    std::vector<std::string> rowGuids() const;
    bool showsSums() const { return m_sumColumn; }
    QTableView* documentList() const { return m_list; }
    JournalRowsModel* rowsModel() const { return m_rows; }
    QTimer* loadTimer() const { return m_loadTimer; }
    const ImageList& stateImages() const { return m_stateImages; }
    // The editor window opened last (nullptr once it is gone).
    QWidget* lastEditor() const { return m_lastEditor; }
    // The exchange screen opened last.
    QWidget* lastExchangeScreen() const { return m_lastExchange; }

    // The one line above the menu bar that says where the exchange stands; hidden while the
    // text is empty. Tapping it emits exchangeStatusTapped().
    void setExchangeStatus(const QString& text);
    QPushButton* exchangeStatus() const { return m_exchangeStatus; }

    // What a confirmed close does (by default: end the event loop with exit code 0).
    void setQuitHandler(std::function<void()> quit) { m_quit = std::move(quit); }

    // Picks the period start..end without reloading (start 0: all documents).
    void setPeriod(DateTime start, DateTime end);

signals:
    // The rows were (re)loaded.
    void rowsLoaded();
    // refresh() was told that the document `guid` changed (the editor saved it).
    void documentChanged(const QString& guid);
    // The settings dialog was closed (its options may have changed).
    void settingsClosed();
    // The agent tapped the exchange's status line.
    void exchangeStatusTapped();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenu();
    void buildList();
    int selectedRow() const;
    // Chooses the row of `guid` again after a reload; shows the hint of an empty device.
    void keepSelection(const std::string& guid);
    DateTime today() const;
    void showWindow(QWidget* window);
    // The rows of the period after document `guid` changed; a full load when only those
    // cannot be read.
    void reloadDocument(const std::string& guid);
    std::string rowGuid(int row) const;

    JournalScreens m_screens;
    const Clock& m_clock;
    std::function<void()> m_quit;
    QTableView* m_list = nullptr;
    JournalRowsModel* m_rows = nullptr;
    QLabel* m_emptyHint = nullptr;
    QPushButton* m_exchangeStatus = nullptr;
    QTimer* m_loadTimer = nullptr;
    ImageList m_stateImages;
    // The period whose rows the list shows; `m_loaded` false until a load succeeded.
    bool m_loaded = false;
    DateTime m_loadedStart = 0;
    DateTime m_loadedEnd = 0;
    bool m_sumColumn = false;
    DateTime m_lastSeenDay = 0;
    DateTime m_periodStart = 0;
    DateTime m_periodEnd = 0;
    QPointer<QWidget> m_lastEditor;
    QPointer<QWidget> m_lastExchange;
    QAction* m_messagesAction = nullptr;
};

}  // namespace velmorant
