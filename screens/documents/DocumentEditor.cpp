#include "screens/documents/DocumentEditor.h"

#include <algorithm>

#include <QBrush>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "core/db/Money.h"
#include "core/db/Notifier.h"
#include "core/db/Options.h"
#include "core/documents/DocumentSql.h"
#include "core/documents/OrderLines.h"
#include "screens/documents/ClientPicker.h"
#include "screens/documents/GoodsPicker.h"
#include "screens/documents/QuantityDialog.h"
#include "screens/widgets/MenuBar.h"
#include "screens/widgets/QtDates.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/SoftKeyboard.h"
#include "screens/widgets/TouchTargets.h"
#include "screens/widgets/Translations.h"
#include "screens/widgets/ViewHelpers.h"

namespace velmorant {

namespace {
// Texts of the document editor.
// The window's caption in the window manager's title bar and task list.
const char* const kCaption = "Заявка";
const char* const kMenuPick = "Подбор";
const char* const kMenuSeparator = "|";
const char* const kMenuOk = "Ок";
const char* const kMenuSave = "Записать";
const char* const kMenuClose = " X ";
const char* const kTabHeader = " Шапка ";
const char* const kTabLines = " Заявка ";
const char* const kStatusInitial = "* статус документа *";
const char* const kDateInitial = "Дата отгрузки: ";
const char* const kClientInitial = " Клиент:";
const char* const kNoteInitial = " Примечание:";
const char* const kColumnGoods = "Товар";
const char* const kColumnCount = "Кол-во";
const char* const kColumnSum = "Сумма";
const char* const kAskSave = "Документ изменен. Сохранить?";
const char* const kTotalQuantity = "Итого: ";
const char* const kTotalSum = "  Сумма: ";
// Option keys with the caption each gives when it is missing.
const char* const kOptClient = "Client";
const char* const kDefClient = "Клиент";
const char* const kOptDate = "Date";
const char* const kDefDate = "Дата отгрузки";
const char* const kOptPrim = "Prim";
const char* const kDefPrim = "Примечание";
const char* const kOptTable1 = "Table1";
const char* const kDefTable1 = "Заявка";
const char* const kOptNomenkl = "Nomenkl";
const char* const kOptCount = "Count";

enum Column { ColGuid = 0, ColName = 1, ColCount = 2, ColSum = 3 };
constexpr int kNameColumnWidth = 150;

QString Option(const char* key, const char* def) { return ToQString(GetOption(key, def)); }

QWidget* Panel(QWidget* parent, int height) {
    auto* panel = new QWidget(parent);
    panel->setFixedHeight(height);
    return panel;
}

// A column of controls on `parent` without margins or gaps between them.
QVBoxLayout* TightColumn(QWidget* parent) {
    auto* column = new QVBoxLayout(parent);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    return column;
}
}  // namespace

DocumentEditor::DocumentEditor(const Clock& clock, QWidget* parent) : Form(parent), m_clock(clock) {
    setObjectName(QStringLiteral("documentEditor"));
    setWindowTitle(ToQString(kCaption));
    if (parent) {
        setGeometry(parent->geometry());  // over the journal, the same size
    } else {
        resize(240, 294);
    }
    buildMenu();
    auto* bodyLayout = new QVBoxLayout(body());
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    m_tabs = new QTabWidget(body());
    m_tabs->setObjectName(QStringLiteral("tabs"));
    bodyLayout->addWidget(m_tabs);
    m_tabs->addTab(buildHeaderTab(), ToQString(kTabHeader));
    m_tabs->addTab(buildLinesTab(), ToQString(kTabLines));
    connectControls();

    tabChanged(m_tabs->currentIndex());
    NewDocument(m_doc, m_clock);
    m_tabs->setCurrentIndex(kHeaderTab);  // a new document starts on its header
    showDocument();
}

void DocumentEditor::buildMenu() {
    m_pick = menuBar()->addCommand(ToQString(kMenuPick));
    m_separator = menuBar()->addCommand(ToQString(kMenuSeparator));
    m_separator->setEnabled(false);
    QAction* ok = menuBar()->addCommand(ToQString(kMenuOk));
    QAction* write = menuBar()->addCommand(ToQString(kMenuSave));
    QAction* close = menuBar()->addCommand(ToQString(kMenuClose));
    menuBar()->setDefaultCommand(m_pick);
    setDefaultCommand(m_pick);
    setCancelCommand(close);
    connect(m_pick, &QAction::triggered, this, [this] { pickGoods(); });
    connect(ok, &QAction::triggered, this, [this] { saveAndClose(); });
    connect(write, &QAction::triggered, this, [this] { save(); });
    connect(close, &QAction::triggered, this, [this] { this->close(); });
}

QWidget* DocumentEditor::buildHeaderTab() {
    // State, date, client and note stacked at the top, the client's information in the rest.
    auto* header = new QWidget;
    auto* h = TightColumn(header);
    m_status = new QLabel(ToQString(kStatusInitial), header);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setFixedHeight(19);
    m_status->setAlignment(Qt::AlignCenter);
    QFont bold = m_status->font();
    bold.setBold(true);
    m_status->setFont(bold);
    QPalette green = m_status->palette();
    green.setColor(QPalette::WindowText, QColor(0, 128, 0));
    m_status->setPalette(green);
    h->addWidget(m_status);
    h->addWidget(buildDatePanel(header));
    h->addWidget(buildClientPanel(header));
    h->addWidget(buildNotePanel(header));
    m_info = new QLabel(header);
    m_info->setObjectName(QStringLiteral("clientInfo"));
    m_info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_info->setWordWrap(true);
    h->addWidget(m_info, 1);
    return header;
}

QWidget* DocumentEditor::buildDatePanel(QWidget* header) {
    // 20 pixels on a handheld, a finger's size on a phone.
    const int rowHeight = TouchSize(header, 20);
    QWidget* datePanel = Panel(header, rowHeight + 3);
    m_dateLabel = new QLabel(ToQString(kDateInitial), datePanel);
    m_dateLabel->setObjectName(QStringLiteral("dateLabel"));
    m_dateLabel->setGeometry(2, 1, 109, rowHeight);
    m_date = new QDateEdit(datePanel);
    m_date->setObjectName(QStringLiteral("datePicker"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);
    UseProgramLocale(m_date);
    // 82 pixels hold the date in the handheld's small font; a larger desktop font gets what
    // the whole date needs, so that the year is never cut off.
    m_date->setGeometry(112, 1, std::max(82, m_date->sizeHint().width()), rowHeight);
    SoftKeyboard::showOnFocus(m_date);
    return datePanel;
}

QWidget* DocumentEditor::buildClientPanel(QWidget* header) {
    // On a phone the field and its "..." button are a finger's size; 40 pixels on a handheld.
    const int target = TouchTarget(header);
    QWidget* clientPanel = Panel(header, target > 0 ? 13 + target : 40);
    auto* c = TightColumn(clientPanel);
    m_clientLabel = new QLabel(ToQString(kClientInitial), clientPanel);
    m_clientLabel->setObjectName(QStringLiteral("clientLabel"));
    m_clientLabel->setFixedHeight(13);
    c->addWidget(m_clientLabel);
    auto* clientRow = new QHBoxLayout;
    clientRow->setSpacing(0);
    m_client = new QLineEdit(clientPanel);
    m_client->setObjectName(QStringLiteral("clientField"));
    m_client->setReadOnly(true);
    QFont bold = m_client->font();
    bold.setBold(true);
    m_client->setFont(bold);
    m_clientButton = new QToolButton(clientPanel);
    m_clientButton->setObjectName(QStringLiteral("clientButton"));
    m_clientButton->setText(QStringLiteral("..."));
    m_clientButton->setFixedWidth(TouchSize(header, 25));
    if (target > 0) m_clientButton->setFixedHeight(target);
    ClickOnEnter(m_clientButton);  // Enter on the focused button chooses, as Space does
    clientRow->addWidget(m_client, 1);
    clientRow->addWidget(m_clientButton);
    c->addLayout(clientRow, 1);
    return clientPanel;
}

QWidget* DocumentEditor::buildNotePanel(QWidget* header) {
    QWidget* notePanel = Panel(header, 66);
    auto* n = TightColumn(notePanel);
    m_noteCaption = new QLabel(ToQString(kNoteInitial), notePanel);
    m_noteCaption->setObjectName(QStringLiteral("noteCaption"));
    m_note = new QPlainTextEdit(notePanel);
    m_note->setObjectName(QStringLiteral("noteField"));
    m_note->setFixedHeight(48);
    m_note->setTabChangesFocus(true);  // Tab goes on to the next control, as everywhere else
    SoftKeyboard::showOnFocus(m_note);
    n->addWidget(m_noteCaption, 1);
    n->addWidget(m_note);
    return notePanel;
}

QWidget* DocumentEditor::buildLinesTab() {
    auto* page = new QWidget;
    auto* column = TightColumn(page);
    m_lines = new QTreeWidget(page);
    m_lines->setObjectName(QStringLiteral("linesList"));
    m_lines->setRootIsDecorated(false);
    m_lines->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lines->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lines->setBackgroundRole(QPalette::Base);
    m_lines->header()->setStretchLastSection(false);
    // The GUID column is 4 pixels wide, practically hidden (its text is drawn transparent).
    m_lines->header()->setMinimumSectionSize(1);
    m_lines->setColumnCount(3);
    m_lines->setHeaderLabels({QString(), ToQString(kColumnGoods), ToQString(kColumnCount)});
    m_lines->headerItem()->setTextAlignment(ColCount, Qt::AlignRight | Qt::AlignVCenter);
    m_lines->setColumnWidth(ColGuid, 4);
    m_lines->setColumnWidth(ColName, kNameColumnWidth);
    m_lines->setColumnWidth(ColCount, 50);
    // The goods' names take whatever a larger window has beyond the handheld's columns, and
    // wrap onto a second line; the sum is shown only where it fits whole.
    StretchColumn(m_lines, ColName, kNameColumnWidth, {ColSum});
    WrapNames(m_lines, ColName);
    column->addWidget(m_lines, 1);
    // The running totals of the lines, as saving will write them.
    m_total = new QLabel(page);
    m_total->setObjectName(QStringLiteral("totalLabel"));
    m_total->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont bold = m_total->font();
    bold.setBold(true);
    m_total->setFont(bold);
    column->addWidget(m_total);
    return page;
}

void DocumentEditor::connectControls() {
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int i) { tabChanged(i); });
    connect(m_clientButton, &QToolButton::clicked, this, [this] { chooseClient(); });
    connect(m_lines, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item == m_lines->currentItem()) editQuantity(m_lines->indexOfTopLevelItem(item));
    });
    connect(m_note, &QPlainTextEdit::textChanged, this, [this] {
        if (m_filling) return;
        m_doc.STR_PRIM = m_note->toPlainText().toStdString();
        m_doc.Modified = true;
    });
    connect(m_date, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        if (m_filling) return;
        m_doc.DOC_DATE = FromQDate(d);  // a changed date alone does not count as a change
    });
}

bool DocumentEditor::LoadDocument(const std::string& guid) {
    const bool loaded = velmorant::LoadDocument(m_doc, guid, m_clock);
    // A stored document read with sums on shows its sum column at once, before the window
    // is shown (showing adds it only while UseSUMS is still "1").
    if (!NamesNoDocument(guid) && m_doc.UseSums) ensureSumColumn();
    showDocument();
    return loaded;
}

void DocumentEditor::loadDraft(const TDocHead& draft, const std::string& clientInfo) {
    m_doc = draft;
    if (m_doc.UseSums) ensureSumColumn();
    m_tabs->setCurrentIndex(kHeaderTab);  // a new document starts on its header
    m_info->setText(ToQString(ClientInfoForDisplay(clientInfo)));
    showDocument();
}

void DocumentEditor::showDocument() {
    m_filling = true;
    m_status->setText(ToQString(m_doc.statusText));
    m_date->setDate(ToQDate(m_doc.DOC_DATE));
    m_client->setText(ToQString(m_doc.CLI_NAME));
    m_client->setCursorPosition(0);  // a long name shows its beginning
    m_note->setPlainText(ToQString(m_doc.STR_PRIM));
    fillLines();
    m_filling = false;
}

void DocumentEditor::fillLines() {
    m_lines->clear();
    QList<QTreeWidgetItem*> items;
    for (const TDocLine& line : m_doc.Lines) {
        auto* item = new QTreeWidgetItem;
        fillLine(item, line);
        items.append(item);
    }
    m_lines->addTopLevelItems(items);
    showTotals();
}

void DocumentEditor::showTotals() {
    docsql::Totals totals;
    if (!docsql::ComputeTotals(m_doc, totals)) {
        m_total->setText(QStringLiteral("?"));  // beyond what can be saved: said at saving
        return;
    }
    QString text = ToQString(kTotalQuantity) + ToQString(MoneyToText(totals.quantity, 2, false));
    if (m_doc.UseSums) text += ToQString(kTotalSum) + ToQString(MoneyToText(totals.sum, 2, false));
    m_total->setText(text);
}

void DocumentEditor::fillLine(QTreeWidgetItem* item, const TDocLine& line) {
    item->setText(ColGuid, ToQString(line.G_GUID));
    item->setTextAlignment(ColGuid, Qt::AlignCenter);
    item->setForeground(ColGuid, QBrush(Qt::transparent));
    item->setText(ColName, ToQString(line.G_NAME));
    item->setText(ColCount, ToQString(line.G_WT));
    item->setTextAlignment(ColCount, Qt::AlignRight | Qt::AlignVCenter);
    item->setData(ColGuid, Qt::UserRole, line.PriceCents);
    if (m_hasSumColumn) {
        item->setText(ColSum, ToQString(line.Sum));
        item->setTextAlignment(ColSum, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void DocumentEditor::ensureSumColumn() {
    if (m_hasSumColumn) return;
    m_hasSumColumn = true;
    m_lines->setColumnCount(4);
    m_lines->headerItem()->setText(ColSum, ToQString(kColumnSum));
    m_lines->headerItem()->setTextAlignment(ColSum, Qt::AlignRight | Qt::AlignVCenter);
    m_lines->setColumnWidth(ColSum, 62);
    for (int i = 0; i < m_lines->topLevelItemCount() && i < int(m_doc.Lines.size()); ++i) {
        fillLine(m_lines->topLevelItem(i), m_doc.Lines[static_cast<std::size_t>(i)]);
    }
}

void DocumentEditor::showEvent(QShowEvent* event) {
    Form::showEvent(event);
    if (event->spontaneous()) return;  // a window restored by the system is not shown anew
    m_clientLabel->setText(Option(kOptClient, kDefClient) + QLatin1Char(':'));
    m_dateLabel->setText(Option(kOptDate, kDefDate) + QLatin1Char(':'));
    m_noteCaption->setText(Option(kOptPrim, kDefPrim) + QLatin1Char(':'));
    m_tabs->setTabText(kLinesTab,
                       QLatin1Char(' ') + Option(kOptTable1, kDefTable1) + QLatin1Char(' '));
    m_lines->headerItem()->setText(ColName, Option(kOptNomenkl, kColumnGoods));
    m_lines->headerItem()->setText(ColCount, Option(kOptCount, kColumnCount));
    if (GetOption("UseSUMS", "") == "1") ensureSumColumn();
    m_tabs->setCurrentIndex(GetOption("DocPage", "") == "1" ? kLinesTab : kHeaderTab);
}

void DocumentEditor::tabChanged(int index) {
    const bool lines = index == kLinesTab;
    m_pick->setVisible(lines);
    m_pick->setEnabled(lines);  // Enter must not pick goods from the header tab
    m_separator->setVisible(lines);
}

void DocumentEditor::chooseClient() {
    std::string guid = m_doc.CLI_GUID;
    std::string name;
    std::string info;
    if (!PickClient(guid, name, info, this)) return;
    m_doc.CLI_GUID = guid;
    m_doc.CLI_NAME = name;
    m_doc.Modified = true;
    m_client->setText(ToQString(name));
    m_client->setCursorPosition(0);  // a long name shows its beginning
    m_info->setText(ToQString(ClientInfoForDisplay(info)));
}

void DocumentEditor::editQuantity(int row) {
    if (row < 0 || row >= static_cast<int>(m_doc.Lines.size())) return;
    QTreeWidgetItem* item = m_lines->topLevelItem(row);
    if (!item || !item->isSelected()) return;
    TDocLine& line = m_doc.Lines[static_cast<std::size_t>(row)];
    Money quantity = LineQuantity(line);
    if (!EditQuantity(quantity, LinePrice(line, m_doc.UseSums), this)) return;
    SetLineQuantity(line, quantity, m_doc.UseSums);
    m_doc.Modified = true;
    fillLine(item, line);
    showTotals();
}

void DocumentEditor::pickGoods() {
    if (m_tabs->currentIndex() != kLinesTab) return;
    TGoodsPicker picker(this);
    picker.setClient(m_doc.CLI_GUID, m_doc.GUID);
    picker.Load(PickerPreset(m_doc.Lines));
    if (picker.exec() == Dialog::Confirmed) {
        m_doc.Lines = LinesFromPicker(picker.Result(), m_doc.UseSums);
        m_doc.Modified = true;
    }
    picker.ReleaseCatalogue();
    fillLines();
}

bool DocumentEditor::save() {
    const bool saved = SaveDocument(m_doc, m_clock);
    m_status->setText(ToQString(m_doc.statusText));
    return saved;
}

void DocumentEditor::saveAndClose() {
    if (save()) close();
}

void DocumentEditor::closeEvent(QCloseEvent* event) {
    if (m_doc.Modified) {
        switch (notifier().show(kAskSave, MessageIcon::Question, MessageButtons::YesNoCancel)) {
            case MessageAnswer::Yes:
                if (!save()) {
                    event->ignore();
                    return;
                }
                break;
            case MessageAnswer::No:
                break;
            default:
                event->ignore();
                return;
        }
    }
    if (m_refresh) m_refresh(m_doc.GUID);
    event->accept();
}

namespace {
DocumentEditor* NewEditorOver(QWidget& parent, const Clock& clock,
                              std::function<void(const std::string&)> refresh) {
    auto* editor = new DocumentEditor(clock, &parent);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->setRefreshHandler(std::move(refresh));
    return editor;
}
}  // namespace

QWidget* CreateDocumentEditor(QWidget& parent, const std::string& guid, const Clock& clock,
                              std::function<void(const std::string&)> refresh) {
    DocumentEditor* editor = NewEditorOver(parent, clock, std::move(refresh));
    // A document read only in part (its lines failed, or its header is gone) is not opened:
    // saving it would write the part that was read over what is stored.
    if (!editor->LoadDocument(guid)) {
        delete editor;
        return nullptr;
    }
    return editor;
}

QWidget* CreateDraftEditor(QWidget& parent, const TDocHead& draft, const std::string& clientInfo,
                           const Clock& clock, std::function<void(const std::string&)> refresh) {
    DocumentEditor* editor = NewEditorOver(parent, clock, std::move(refresh));
    editor->loadDraft(draft, clientInfo);
    return editor;
}

}  // namespace velmorant
