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
#include "screens/journal/JournalTexts.h"
#include "screens/journal/MessagesDialog.h"
#include "screens/journal/PeriodDialog.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/ScreenFitter.h"
#include "screens/widgets/ViewHelpers.h"

namespace velmorant {

namespace {

// DOC_DATE as day and month; "???" unless it looks like "yyyy-MM-dd".
QString dayAndMonth(const std::string& stored) {
    const std::string date = Trim(stored);
    if (date.size() < 10 || date[4] != '-' || date[7] != '-')
        return ToQString(journal_text::kBadDate);
    return ToQString(date.substr(8, 2) + "." + date.substr(5, 2));
}

}  // namespace

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

TDate JournalWindow::today() const { return m_clock.Today(); }

void JournalWindow::buildList() {
    m_list = new QTableWidget(body());
    m_list->setObjectName(QStringLiteral("documentList"));
    auto* layout = new QVBoxLayout(body());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);

    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->setIconSize(QSize(16, 12));
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
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
        Qt::Alignment alignment;
    };
    std::vector<Column> columns = {{journal_text::kColumnState, 18, Qt::AlignLeft},
                                   {journal_text::kColumnDate, 46, Qt::AlignLeft},
                                   {journal_text::kColumnClient, 106, Qt::AlignLeft},
                                   {journal_text::kColumnWeight, 62, Qt::AlignRight}};
    if (m_sumColumn) columns.push_back({journal_text::kColumnSum, 62, Qt::AlignRight});
    m_list->setColumnCount(static_cast<int>(columns.size()));
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        auto* header = new QTableWidgetItem(ToQString(columns[i].caption));
        header->setTextAlignment(columns[i].alignment | Qt::AlignVCenter);
        m_list->setHorizontalHeaderItem(i, header);
        m_list->setColumnWidth(i, columns[i].width);
    }
    // On a window wider than the handheld's the client's name takes the room left over.
    StretchColumn(m_list, kClientColumn, columns[kClientColumn].width);
    connect(m_list, &QTableWidget::cellDoubleClicked, this, [this] { editDocument(); });
}

void JournalWindow::buildMenu() {
    MenuBar* bar = menuBar();
    connect(bar->addCommand(ToQString(journal_text::kMenuNew)), &QAction::triggered, this,
            &JournalWindow::newDocument);
    connect(bar->addCommand(ToQString(journal_text::kMenuEdit)), &QAction::triggered, this,
            &JournalWindow::editDocument);
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
            &JournalWindow::refresh);
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

void JournalWindow::setPeriod(TDate start, TDate end) {
    m_periodStart = dayOf(start);
    m_periodEnd = dayOf(end);
}

void JournalWindow::loadRows(TDate start, TDate end) {
    const bool sums = GetOption("UseSUMS", "") == "1" && m_sumColumn;
    m_list->clearContents();
    m_list->setRowCount(0);
    m_rowGuids.clear();

    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) {
        emit rowsLoaded();
        return;
    }
    m_list->setUpdatesEnabled(false);
    std::string condition;
    if (start == 0) {
        condition.clear();
    } else if (start == end) {
        condition = " where (REC_TIME=" + DateToSqlText(start) + ")";
    } else {
        condition =
            " where (REC_TIME BETWEEN " + DateToSqlText(start) + " and " + DateToSqlText(end) + ")";
    }
    if (!q->Exec("select GUID, DOC_DATE, DOC_STATE, CLI_NAME, ORD_WEIGHT, ORD_SUMM from "
                 "DOC_HEADS" +
                 condition)) {
        notifier().message(journal_text::kListQueryFailed);
    } else {
        const int cGuid = q->ColumnIndex("GUID");
        const int cDate = q->ColumnIndex("DOC_DATE");
        const int cState = q->ColumnIndex("DOC_STATE");
        const int cClient = q->ColumnIndex("CLI_NAME");
        const int cSum = q->ColumnIndex("ORD_SUMM");
        const int cWeight = q->ColumnIndex("ORD_WEIGHT");
        m_list->setRowCount(q->RowCount());
        int row = 0;
        for (q->First(); !q->AtEnd() && row < q->RowCount(); q->Next(), ++row) {
            const std::string guid = Trim(q->Cell(cGuid));
            const auto image = DocStateFromText(q->Cell(cState));
            auto* first = new QTableWidgetItem(QStringLiteral("  ") + ToQString(guid));
            if (image >= 0 && image < m_stateImages.count())
                first->setIcon(m_stateImages.icon(static_cast<int>(image)));
            first->setData(Qt::UserRole, q->CurrentRow());
            m_list->setItem(row, kStateColumn, first);
            m_list->setItem(row, kDateColumn, new QTableWidgetItem(dayAndMonth(q->Cell(cDate))));
            m_list->setItem(row, kClientColumn,
                            new QTableWidgetItem(ToQString(Trim(q->Cell(cClient)))));
            auto* weight = new QTableWidgetItem(
                ToQString(MoneyToText(TextToMoney(Trim(q->Cell(cWeight)), 0), 1, true)));
            weight->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_list->setItem(row, kWeightColumn, weight);
            if (sums) {
                auto* sum = new QTableWidgetItem(
                    ToQString(MoneyToText(TextToMoney(Trim(q->Cell(cSum)), 0), 2, true)));
                sum->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                m_list->setItem(row, kSumColumn, sum);
            }
            m_rowGuids.push_back(guid);
        }
        m_list->setRowCount(row);
    }
    m_list->setUpdatesEnabled(true);
    m_list->viewport()->update();
    updateMessagesCaption();  // an exchange may have brought messages since the last load
    emit rowsLoaded();
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
    const int index = selectedRow();
    if (index < 0 || index >= static_cast<int>(m_rowGuids.size())) return;
    const auto& create = m_screens.createDraftEditor;
    if (!create) return;
    TRepeatOrder order;
    if (!BuildRepeatOrder(Trim(m_rowGuids[static_cast<size_t>(index)]), m_clock, order)) return;
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

void JournalWindow::refresh() {
    const TDate now = today();
    if (now != m_lastSeenDay) {
        if (notifier().ask(journal_text::kDateChanged)) m_periodStart = m_periodEnd = now;
    }
    m_lastSeenDay = now;
    loadRows(m_periodStart, m_periodEnd);
}

int JournalWindow::selectedRow() const {
    const QList<QTableWidgetItem*> items = m_list->selectedItems();
    if (items.isEmpty()) return -1;
    return items.first()->row();
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
    const int index = selectedRow();
    if (index < 0 || index >= static_cast<int>(m_rowGuids.size())) return;
    const auto& create = m_screens.createEditor;
    if (!create) return;
    if (QWidget* editor = create(*this, m_rowGuids[static_cast<size_t>(index)])) {
        m_lastEditor = editor;
        showWindow(editor);
    }
}

void JournalWindow::deleteDocument() {
    const int index = selectedRow();
    if (index < 0 || index >= static_cast<int>(m_rowGuids.size())) return;
    // The GUID is taken before asking: the question runs a nested event loop in which the
    // list may be reloaded (the first load), and the answer is about the row shown now.
    const std::string guid = Trim(m_rowGuids[static_cast<size_t>(index)]);
    if (!notifier().ask(journal_text::kDeleteQuestion)) return;
    velmorant::DeleteDocument(guid);
    loadRows(m_periodStart, m_periodEnd);
}

void JournalWindow::choosePeriod() {
    TDate start = m_periodStart;
    TDate end = m_periodEnd;
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
    if (m_screens.runSettings) m_screens.runSettings(this);
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
