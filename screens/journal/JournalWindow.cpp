#include "screens/journal/JournalWindow.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QVBoxLayout>

#include "core/db/Clock.h"
#include "core/db/Money.h"
#include "core/db/Notifier.h"
#include "core/db/Options.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/documents/Document.h"
#include "core/documents/RepeatOrder.h"
#include "core/journal/OfficeMessages.h"
#include "screens/journal/JournalRowsModel.h"
#include "screens/journal/JournalTexts.h"
#include "screens/journal/MessagesDialog.h"
#include "screens/journal/PeriodDialog.h"
#include "screens/widgets/EmptyHint.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/ScreenFitter.h"
#include "screens/widgets/TouchTargets.h"
#include "screens/widgets/ViewHelpers.h"
#include "screens/widgets/WrappingButton.h"

namespace velmorant {

// True when the office has sent neither clients nor goods yet.
bool DirectoriesEmpty() {
    auto q = Query("select (select count(*) from SPR_CLIENTS) + (select count(*) from SPR_GOODS)");
    if (!q || q->RowCount() == 0) return false;
    q->First();
    return TextToInt(q->Cell(0), 0) == 0;
}

JournalWindow::JournalWindow(JournalScreens screens, const Clock& clock, QWidget* parent)
    : Form(parent), m_screens(std::move(screens)), m_clock(clock) {
    m_quit = [] { QCoreApplication::exit(0); };
    setObjectName(QStringLiteral("journal"));
    setWindowTitle(ToQString(journal_text::kCaption));
    resize(221, 267);

    m_stateImages = ImageList::fromBitmap(QStringLiteral("FMAIN_IL_STATES"), 16, 12, Qt::black);
    m_sumColumn = GetOption("UseSUMS", "") == "1";
    buildList();
    buildMenu();

    m_periodStart = m_periodEnd = m_lastSeenDay = today();

    m_loadTimer = new QTimer(this);
    m_loadTimer->setObjectName(QStringLiteral("loadTimer"));
    m_loadTimer->setInterval(kLoadDelayMs);
    m_loadTimer->setSingleShot(true);
    connect(m_loadTimer, &QTimer::timeout, this, [this] {
        m_loadTimer->stop();
        loadRows(m_periodStart, m_periodEnd);
    });
    m_loadTimer->start();
}

JournalWindow::~JournalWindow() = default;

DateTime JournalWindow::today() const { return m_clock.Today(); }

void JournalWindow::buildList() {
    m_list = new QTableView(body());
    m_list->setObjectName(QStringLiteral("documentList"));
    auto* layout = new QVBoxLayout(body());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Said above an empty journal while the directories are empty (a device not yet
    // exchanged with the office).
    m_emptyHint = new QLabel(ToQString(kDirectoriesEmpty), body());
    m_emptyHint->setObjectName(QStringLiteral("emptyHint"));
    m_emptyHint->setWordWrap(true);
    m_emptyHint->hide();
    layout->addWidget(m_emptyHint);
    layout->addWidget(m_list);
    // Where the exchange stands, above the menu bar (on a second line where one is too
    // short); tapping it shows the log.
    m_exchangeStatus = new WrappingButton(body());
    m_exchangeStatus->setObjectName(QStringLiteral("exchangeStatus"));
    m_exchangeStatus->setFocusPolicy(Qt::NoFocus);
    m_exchangeStatus->hide();
    layout->addWidget(m_exchangeStatus);
    connect(m_exchangeStatus, &QPushButton::clicked, this, &JournalWindow::exchangeStatusTapped);

    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->setIconSize(QSize(16, 12));
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    GrowRows(m_list);  // a finger's size on a phone
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->horizontalHeader()->setMinimumSectionSize(1);
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The rows are chosen whole; Tab goes on to the menu bar instead of walking the cells.
    m_list->setTabKeyNavigation(false);
    // The selection stays visible while another control or window has the focus.
    QPalette palette = m_list->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    m_list->setPalette(palette);

    struct Column {
        const char* caption;
        int width;
    };
    std::vector<Column> columns = {{journal_text::kColumnState, 18},
                                   {journal_text::kColumnDate, 46},
                                   {journal_text::kColumnClient, 106},
                                   {journal_text::kColumnWeight, 62}};
    if (m_sumColumn) columns.push_back({journal_text::kColumnSum, 62});
    QStringList captions;
    for (const Column& c : columns) captions << ToQString(c.caption);
    m_rows = new JournalRowsModel(m_stateImages, captions, m_list);
    m_list->setModel(m_rows);
    for (int i = 0; i < static_cast<int>(columns.size()); ++i)
        m_list->setColumnWidth(i, columns[i].width);
    // On a window wider than the handheld's the client's name takes the room left over; the
    // sum is shown only where it fits whole, and a long name wraps onto a second line.
    StretchColumn(m_list, kClientColumn, columns[kClientColumn].width, {kSumColumn});
    WrapNames(m_list, kClientColumn);
    connect(m_list, &QTableView::doubleClicked, this, [this] { editDocument(); });
}

void JournalWindow::buildMenu() {
    MenuBar* bar = menuBar();
    connect(bar->addCommand(ToQString(journal_text::kMenuNew)), &QAction::triggered, this,
            &JournalWindow::newDocument);
    QAction* edit = bar->addCommand(ToQString(journal_text::kMenuEdit));
    connect(edit, &QAction::triggered, this, &JournalWindow::editDocument);
    setDefaultCommand(edit);  // Enter on a row opens it
    connect(bar->addCommand(ToQString(journal_text::kMenuDelete)), &QAction::triggered, this,
            &JournalWindow::deleteDocument);
    QMenu* more = bar->addMenu(ToQString(journal_text::kMenuMore));
    connect(bar->addItem(more, ToQString(journal_text::kMenuRepeat)), &QAction::triggered, this,
            &JournalWindow::repeatDocument);
    bar->addSeparator(more);
    connect(bar->addItem(more, ToQString(journal_text::kMenuExchange)), &QAction::triggered, this,
            &JournalWindow::openExchange);
    m_messagesAction = bar->addItem(more, ToQString(journal_text::kMenuMessages));
    m_messagesAction->setObjectName(QStringLiteral("messagesAction"));
    connect(m_messagesAction, &QAction::triggered, this, &JournalWindow::openMessages);
    updateMessagesCaption();
    bar->addSeparator(more);
    connect(bar->addItem(more, ToQString(journal_text::kMenuRefresh)), &QAction::triggered, this,
            [this] { refresh(); });
    connect(bar->addItem(more, ToQString(journal_text::kMenuPeriod)), &QAction::triggered, this,
            &JournalWindow::choosePeriod);
    bar->addSeparator(more);
    connect(bar->addItem(more, ToQString(journal_text::kMenuSettings)), &QAction::triggered, this,
            &JournalWindow::openSettings);
    bar->addSeparator(more);
    connect(bar->addItem(more, ToQString(journal_text::kMenuAbout)), &QAction::triggered, this,
            &JournalWindow::openAbout);
    bar->addSeparator(more);
    connect(bar->addItem(more, ToQString(journal_text::kMenuExit)), &QAction::triggered, this,
            [this] { CloseDialog(this, false); });
}

void JournalWindow::setPeriod(DateTime start, DateTime end) {
    m_periodStart = dayOf(start);
    m_periodEnd = dayOf(end);
}

void JournalWindow::keepSelection(const std::string& guid) {
    const std::vector<TJournalRow>& rows = m_rows->rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!guid.empty() && Trim(rows[i].GUID) == guid) {
            const QModelIndex index = m_rows->index(static_cast<int>(i), kClientColumn);
            m_list->setCurrentIndex(index);
            m_list->selectRow(static_cast<int>(i));
            m_list->scrollTo(index);
            break;
        }
    }
    m_emptyHint->setVisible(rows.empty() && DirectoriesEmpty());
}

void JournalWindow::loadRows(DateTime start, DateTime end) {
    const std::string selected = Trim(rowGuid(selectedRow()));
    const bool sums = GetOption("UseSUMS", "") == "1" && m_sumColumn;
    // The rows' storage is used again: a reload of a long period allocates little.
    std::vector<TJournalRow> rows = m_rows->takeRows();
    m_loaded = false;

    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) {
        emit rowsLoaded();
        return;
    }
    if (!ReadJournalRows(*q, start, end, rows)) {
        rows.clear();
        notifier().message(journal_text::kListQueryFailed);
    } else {
        m_loaded = true;
        m_loadedStart = start;
        m_loadedEnd = end;
    }
    m_rows->setRows(std::move(rows), sums);
    keepSelection(selected);  // the row the agent was on stays chosen
    updateMessagesCaption();  // an exchange may have brought messages since the last load
    emit rowsLoaded();
}

void JournalWindow::reloadDocument(const std::string& guid) {
    if (!m_loaded || m_loadedStart != m_periodStart || m_loadedEnd != m_periodEnd ||
        Trim(guid).empty()) {
        loadRows(m_periodStart, m_periodEnd);
        return;
    }
    const std::string selected = Trim(rowGuid(selectedRow()));
    const bool sums = GetOption("UseSUMS", "") == "1" && m_sumColumn;
    auto q = TQueryResult::Create(DatabasePath(), true);
    std::vector<TJournalRow> rows = m_rows->takeRows();
    if (!q || !ReloadJournalDocument(*q, m_periodStart, m_periodEnd, guid, rows)) {
        m_rows->setRows(std::move(rows), sums);
        loadRows(m_periodStart, m_periodEnd);
        return;
    }
    m_rows->setRows(std::move(rows), sums);
    // The row the agent was on stays chosen; else the document the editor wrote.
    keepSelection(selected.empty() ? Trim(guid) : selected);
    updateMessagesCaption();
    emit rowsLoaded();
}

std::vector<std::string> JournalWindow::rowGuids() const {
    std::vector<std::string> guids;
    guids.reserve(m_rows->rows().size());
    for (const TJournalRow& row : m_rows->rows()) guids.push_back(row.GUID);
    return guids;
}

std::string JournalWindow::rowGuid(int row) const {
    if (row < 0 || row >= static_cast<int>(m_rows->rows().size())) return {};
    return m_rows->rows()[static_cast<std::size_t>(row)].GUID;
}

void JournalWindow::setExchangeStatus(const QString& text) {
    m_exchangeStatus->setText(text);
    m_exchangeStatus->setVisible(!text.isEmpty());
}

void JournalWindow::updateMessagesCaption() {
    if (!m_messagesAction) return;
    const int unread = CountUnreadMessages();
    QString caption = ToQString(journal_text::kMenuMessages);
    if (unread > 0) caption += QStringLiteral("(%1) ").arg(unread);
    m_messagesAction->setText(caption);
}

void JournalWindow::openMessages() {
    RunMessagesDialog(this);
    updateMessagesCaption();
}

void JournalWindow::repeatDocument() {
    const std::string guid = rowGuid(selectedRow());
    if (guid.empty()) return;
    const auto& create = m_screens.createDraftEditor;
    if (!create) return;
    RepeatOrder order;
    if (!BuildRepeatOrder(guid, m_clock, order)) return;
    if (QWidget* editor = create(*this, order.doc, order.clientInfo)) {
        m_lastEditor = editor;
        showWindow(editor);
        // Said once the new document is in front of the agent, over it.
        if (!order.missing.empty()) {
            const std::string text = MissingGoodsMessage(order.missing);
            WhenActive(editor, [text] { notifier().message(text); });
        }
    }
}

void JournalWindow::refresh(const std::string& changedGuid) {
    const DateTime now = today();
    if (now != m_lastSeenDay) {
        if (notifier().ask(journal_text::kDateChanged)) m_periodStart = m_periodEnd = now;
    }
    m_lastSeenDay = now;
    if (changedGuid.empty()) {
        loadRows(m_periodStart, m_periodEnd);
    } else {
        reloadDocument(changedGuid);
        emit documentChanged(ToQString(changedGuid));
    }
}

int JournalWindow::selectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty()) return -1;
    return rows.first().row();
}

void JournalWindow::showWindow(QWidget* window) {
    ScreenFitter::install()->placeScreen(window);
    window->show();
    window->raise();
    window->activateWindow();
}

void JournalWindow::newDocument() {
    const auto& create = m_screens.createEditor;
    if (!create) return;
    if (QWidget* editor = create(*this, std::string())) {
        m_lastEditor = editor;
        showWindow(editor);
    }
}

void JournalWindow::editDocument() {
    const std::string guid = rowGuid(selectedRow());
    if (guid.empty()) return;
    const auto& create = m_screens.createEditor;
    if (!create) return;
    if (QWidget* editor = create(*this, guid)) {
        m_lastEditor = editor;
        showWindow(editor);
    }
}

void JournalWindow::deleteDocument() {
    // The GUID is taken before asking: the question runs a nested event loop in which the
    // list may be reloaded (the first load), and the answer is about the row shown now.
    const std::string guid = rowGuid(selectedRow());
    if (guid.empty()) return;
    if (!notifier().ask(journal_text::kDeleteQuestion)) return;
    velmorant::DeleteDocument(guid);
    reloadDocument(guid);
}

void JournalWindow::choosePeriod() {
    DateTime start = m_periodStart;
    DateTime end = m_periodEnd;
    if (!RunPeriodDialog(start, end, m_clock)) return;
    setPeriod(start, end);
    loadRows(m_periodStart, m_periodEnd);
}

void JournalWindow::openExchange() {
    // One exchange at a time: the screen keeps serving events while it transfers, so the
    // journal can be reached meanwhile; it brings back the screen that is open.
    if (m_lastExchange && m_lastExchange->isVisible()) {
        showWindow(m_lastExchange);
        return;
    }
    const auto& create = m_screens.createExchangeScreen;
    if (!create) return;
    if (QWidget* screen = create(*this)) {
        m_lastExchange = screen;
        showWindow(screen);
    }
}

void JournalWindow::openSettings() {
    if (!m_screens.runSettings) return;
    m_screens.runSettings(this);
    emit settingsClosed();
}

void JournalWindow::openAbout() {
    if (m_screens.runAbout) m_screens.runAbout(this);
}

void JournalWindow::closeEvent(QCloseEvent* event) {
    // The windows the journal opened (an editor, the exchange screen) are asked to close
    // first, so an editor puts its own question about a changed document; one that stays open
    // keeps the program running.
    QList<QPointer<QWidget>> windows;
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() && child->isVisible()) windows.append(child);
    }
    for (const QPointer<QWidget>& window : windows) {
        if (window && window->isVisible() && !window->close()) {
            event->ignore();
            return;
        }
    }
    if (!notifier().ask(journal_text::kQuitQuestion)) {
        event->ignore();
        return;
    }
    event->accept();
    if (m_quit) m_quit();
}

void JournalWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        m_list->setFocus();
        updateMessagesCaption();  // back from the exchange screen, which does not reload
    }
    Form::changeEvent(event);
}

}  // namespace velmorant
