#include "screens/documents/GoodsPicker.h"

#include <QAction>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/db/Dates.h"
#include "core/db/Notifier.h"
#include "core/db/Options.h"
#include "core/db/Text.h"
#include "core/documents/EarlierOrders.h"
#include "core/documents/OrderLines.h"
#include "screens/documents/QuantityDialog.h"
#include "screens/widgets/CaseFolding.h"
#include "screens/widgets/EmptyHint.h"
#include "screens/widgets/ImageList.h"
#include "screens/widgets/MainWindow.h"
#include "screens/widgets/MenuBar.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/SoftKeyboard.h"
#include "screens/widgets/TouchTargets.h"
#include "screens/widgets/TwoLineDelegate.h"
#include "screens/widgets/ViewHelpers.h"

namespace velmorant {

namespace {
// Texts of the goods picker.
const char* const kEnter = " ВВОД ";
const char* const kSeparator = "|";
const char* const kOk = " [ Ок ] ";
const char* const kCancel = " [X] Отмена";
const char* const kContextEnter = "ВВОД";
const char* const kDropDownOk = "OK";
const char* const kDropDownClose = "X";
const char* const kColumnGoods = "Товар";
const char* const kColumnCount = "Кол-во";
const char* const kColumnPrice = "Цена";
const char* const kColumnSum = "Сумма";
const char* const kDefaultCaption = "Подбор товаров";
const char* const kMore = "  ...  ";
const char* const kSearch = " Поиск ";
const char* const kEarlier = " Ранее ";
const char* const kFoundBar = " Найдено: ";
const char* const kEarlierBar = " Ранее заказанные";
const char* const kNoEarlierOrders = "Клиент ранее ничего не заказывал.";
const int kColumnWidths[] = {150, 50, 62, 62};
// The columns of price and sum, with UseSUMS.
constexpr int kPriceColumn = 2;
constexpr int kSumColumn = 3;
// The main window's property that keeps the folder used last for the rest of the session.
const char* const kLastFolderProperty = "lastGoodsFolder";

// Folders below this many levels stay closed in the drop-down: Qt lays out open rows with
// one nested call per level, so an unbounded chain would overflow the stack.
constexpr int kDeepestExpandedLevel = 1000;

QString Money2(Money value, bool blankIfZero) {
    return QString::fromStdString(MoneyToText(value, 2, blankIfZero));
}
}  // namespace

TGoodsPicker::TGoodsPicker(QWidget* owner) : Dialog(owner), m_searchIndex(QtCaseFolder()) {
    setObjectName(QStringLiteral("goodsPicker"));
    // A full screen of its own: it covers the window it was opened from, the same size.
    if (owner) setGeometry(owner->window()->geometry());
    auto* layout = new QVBoxLayout(body());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildTopBar());
    layout->addWidget(buildSearchPanel());
    layout->addWidget(buildLists(), 1);
    // The picker opens with the focus in the goods list (Enter: the keypad); the folder bar
    // comes after it.
    setTabOrder(m_goods, m_folderBar);
    buildDropDown();
    buildMenu();
    connectLists();
}

QWidget* TGoodsPicker::buildTopBar() {
    // The top bar: a framing picture, the folder bar, the drop-down's OK/X, a framing blank.
    auto* topBar = new QWidget(body());
    // 22 pixels on a handheld, a finger's size on a phone.
    const int barHeight = TouchSize(this, 22);
    topBar->setFixedHeight(barHeight);
    auto* top = new QHBoxLayout(topBar);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    auto* image = new QToolButton(topBar);
    image->setFixedSize(24, barHeight);
    image->setIcon(ImageList::fromBitmap(QStringLiteral("BITBTN1_BITMAP"), 16, 16).icon(0));
    image->setEnabled(false);
    m_folderBar = new QPushButton(topBar);
    m_folderBar->setObjectName(QStringLiteral("folderBar"));
    m_folderBar->setFixedHeight(barHeight);
    // Reached with Tab (Space or Enter opens the drop-down); a tap leaves the focus in the list.
    m_folderBar->setFocusPolicy(Qt::TabFocus);
    m_folderBar->setAutoDefault(false);  // not drawn as the dialog's default button
    m_folderBar->installEventFilter(this);
    m_folderBar->setStyleSheet(QStringLiteral("text-align: left; padding-left: 2px;"));
    m_dropDownButtons = new QWidget(topBar);
    m_dropDownButtons->setObjectName(QStringLiteral("dropDownButtons"));
    m_dropDownButtons->setFixedSize(88, 22);
    auto* ok = new QPushButton(ToQString(kDropDownOk), m_dropDownButtons);
    ok->setObjectName(QStringLiteral("dropDownOk"));
    ok->setGeometry(3, 1, 40, 20);
    auto* close = new QPushButton(ToQString(kDropDownClose), m_dropDownButtons);
    close->setObjectName(QStringLiteral("dropDownClose"));
    close->setGeometry(46, 1, 40, 20);
    const double grow = TouchScale(this, 22);
    ScaleChildren(m_dropDownButtons, grow, grow);
    m_dropDownButtons->setFixedSize(qRound(88 * grow), barHeight);
    for (QPushButton* b : {ok, close}) {
        // The tree keeps the focus, so the drop-down stays; Enter and Escape in the tree are
        // these two buttons' keys.
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoDefault(false);
    }
    m_dropDownButtons->hide();
    auto* blank = new QToolButton(topBar);
    blank->setFixedSize(12, barHeight);
    blank->setEnabled(false);
    top->addWidget(image);
    top->addWidget(m_folderBar, 1);
    top->addWidget(m_dropDownButtons);
    top->addWidget(blank);

    connect(ok, &QPushButton::clicked, this, [this] { openSelectedFolder(); });
    connect(close, &QPushButton::clicked, this, [this] { closeDropDown(); });
    return topBar;
}

QWidget* TGoodsPicker::buildSearchPanel() {
    // The search field, under the top bar while a search is open.
    m_searchPanel = new QWidget(body());
    m_searchPanel->setObjectName(QStringLiteral("searchPanel"));
    m_searchPanel->setFixedHeight(TouchSize(this, 23));
    auto* searchLayout = new QHBoxLayout(m_searchPanel);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    searchLayout->setSpacing(0);
    m_search = new QLineEdit(m_searchPanel);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->installEventFilter(this);
    SoftKeyboard::showOnFocus(m_search);
    auto* searchButton = new QToolButton(m_searchPanel);
    searchButton->setFixedWidth(20);
    searchButton->setIcon(ImageList::fromBitmap(QStringLiteral("BITBTN4_BITMAP"), 16, 16).icon(0));
    searchButton->setEnabled(false);  // a picture only: the search runs as the agent types
    searchLayout->addWidget(m_search, 1);
    searchLayout->addWidget(searchButton);
    m_searchPanel->hide();
    return m_searchPanel;
}

QWidget* TGoodsPicker::buildLists() {
    // The folder's goods, and in their place the found goods or the earlier orders.
    m_pages = new QStackedWidget(body());
    m_goods = makeFolderList();
    m_found = makeFoundList();
    m_pages->addWidget(m_goods);
    m_pages->addWidget(m_found);
    // The goods' names take whatever a larger window has beyond the handheld's columns; the
    // price and the sum are shown only where they fit whole.
    StretchColumn(m_goods, 0, kColumnWidths[0], {kPriceColumn, kSumColumn});
    StretchColumn(m_found, 0, kColumnWidths[0], {kPriceColumn, kSumColumn});
    // The picker opens with the focus in the goods list (Enter: the keypad); the folder bar
    // comes after it.
    return m_pages;
}

void TGoodsPicker::buildDropDown() {
    // The drop-down lies over the window, hidden until the folder bar is tapped.
    m_dropDown = new QFrame(this);
    m_dropDown->setObjectName(QStringLiteral("dropDown"));
    m_dropDown->setFrameStyle(QFrame::Box | QFrame::Plain);
    auto* dropLayout = new QVBoxLayout(m_dropDown);
    dropLayout->setContentsMargins(1, 1, 1, 1);
    m_tree = new QTreeWidget(m_dropDown);
    m_tree->setObjectName(QStringLiteral("folderTree"));
    m_tree->setHeaderHidden(true);
    HideTreeBranches(m_tree);  // no expand buttons and no lines on any level
    m_tree->setItemsExpandable(false);
    m_tree->setBackgroundRole(QPalette::Base);
    m_tree->installEventFilter(this);
    dropLayout->addWidget(m_tree);
    m_dropDown->hide();
}

void TGoodsPicker::buildMenu() {
    QAction* enter = menuBar()->addCommand(ToQString(kEnter));
    QAction* sep1 = menuBar()->addCommand(ToQString(kSeparator));
    QAction* confirmAction = menuBar()->addCommand(ToQString(kOk));
    QAction* sep2 = menuBar()->addCommand(ToQString(kSeparator));
    QAction* cancelAction = menuBar()->addCommand(ToQString(kCancel));
    // The two further views wait under "...": on a 240-pixel screen the bar has no room for
    // them, and typing letters opens the search anyway.
    QMenu* more = menuBar()->addMenu(ToQString(kMore));
    m_searchAction = menuBar()->addItem(more, ToQString(kSearch));
    m_earlierAction = menuBar()->addItem(more, ToQString(kEarlier));
    m_searchAction->setCheckable(true);
    m_earlierAction->setCheckable(true);
    m_earlierAction->setEnabled(false);  // until a client is given
    sep1->setEnabled(false);
    sep2->setEnabled(false);
    menuBar()->setDefaultCommand(enter);
    setDefaultCommand(enter);
    setCancelCommand(cancelAction);
    connect(enter, &QAction::triggered, this, [this] { enterQuantity(); });
    connect(confirmAction, &QAction::triggered, this, [this] { confirm(); });
    connect(cancelAction, &QAction::triggered, this, [this] { closeDialog(false); });
    connect(m_searchAction, &QAction::triggered, this, [this] {
        if (m_searchPanel->isVisible()) {
            closeSearch();
        } else {
            openSearch();
        }
    });
    connect(m_earlierAction, &QAction::triggered, this, [this] { toggleEarlier(); });
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& t) { search(t); });
}

void TGoodsPicker::connectLists() {
    connect(m_folderBar, &QPushButton::clicked, this, [this] { openDropDown(); });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item == m_tree->currentItem()) openSelectedFolder();
    });
    connect(m_goods, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item == m_goods->currentItem()) enterQuantity();
    });
    connect(m_found, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.row() == m_found->currentIndex().row()) enterQuantity();
    });
}

void TGoodsPicker::addEnterCommand(QAbstractItemView* list) {
    list->installEventFilter(this);
    auto* contextEnter = new QAction(ToQString(kContextEnter), list);
    MenuBar::setBold(contextEnter, true);
    list->addAction(contextEnter);
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(contextEnter, &QAction::triggered, this, [this] { enterQuantity(); });
}

QTreeWidget* TGoodsPicker::makeFolderList() {
    auto* list = new QTreeWidget;
    list->setObjectName(QStringLiteral("goodsList"));
    list->setRootIsDecorated(false);
    WrapNames(list, 0);  // a long name on two lines
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setBackgroundRole(QPalette::Base);
    list->header()->setStretchLastSection(false);
    addEnterCommand(list);
    return list;
}

QTreeView* TGoodsPicker::makeFoundList() {
    auto* list = new QTreeView;
    list->setObjectName(QStringLiteral("foundList"));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);  // every row has its second line
    list->setItemsExpandable(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setBackgroundRole(QPalette::Base);
    list->header()->setStretchLastSection(false);
    list->setItemDelegateForColumn(0, new TwoLineDelegate(list));
    m_foundRows = new GoodsRowsModel(m_catalogue, list);
    list->setModel(m_foundRows);
    addEnterCommand(list);
    return list;
}

int TGoodsPicker::recordOf(const QTreeWidgetItem* item) const {
    if (!item) return -1;
    bool ok = false;
    const int record = item->data(0, Qt::UserRole).toInt(&ok);
    if (!ok || record < 0 || static_cast<std::size_t>(record) >= m_catalogue.Records().size()) {
        return -1;
    }
    return record;
}

void TGoodsPicker::Load(const std::string& chosen) {
    leaveFoundViews();
    m_catalogue.Load(chosen);
    m_searchIndex.Reset(m_catalogue);
    // The drop-down's tree waits until it is opened: the first folder's goods are all that
    // the agent sees at first.
    DeleteTreeItems(m_tree);
    m_folderItems.clear();
    m_treeBuilt = false;
    m_currentFolder = startFolder();
    m_sums = GetOption("UseSUMS", "") == "1";
    m_quantityColumn = 1;
    QStringList captions = {ToQString(kColumnGoods), ToQString(kColumnCount)};
    if (m_sums) {
        captions << ToQString(kColumnPrice) << ToQString(kColumnSum);
        m_priceColumn = kPriceColumn;
        m_sumColumn = kSumColumn;
    } else {
        m_priceColumn = -1;
        m_sumColumn = -1;
    }
    m_goods->setColumnCount(static_cast<int>(captions.size()));
    m_goods->setHeaderLabels(captions);
    m_foundRows->setCaptions(captions);
    for (int c = 0; c < m_goods->columnCount(); ++c) {
        m_goods->setColumnWidth(c, kColumnWidths[c]);
        m_found->setColumnWidth(c, kColumnWidths[c]);
        if (c > 0) m_goods->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    if (m_currentFolder >= 0)
        openFolder(m_currentFolder);
    else
        folderBarText();
}

// The folder tree may be as deep as the catalogue's chain of folders.
TGoodsPicker::~TGoodsPicker() { DeleteTreeItems(m_tree); }

void TGoodsPicker::ReleaseCatalogue() {
    leaveFoundViews();
    m_searchIndex.Reset(m_catalogue);
    m_catalogue.Release();
}

void TGoodsPicker::setClient(const std::string& clientGuid, const std::string& documentGuid) {
    m_clientGuid = Trim(clientGuid);
    m_documentGuid = Trim(documentGuid);
    m_earlierAction->setEnabled(!m_clientGuid.empty());
}

QTreeWidget* TGoodsPicker::folderTree() {
    ensureTree();
    return m_tree;
}

void TGoodsPicker::ensureTree() {
    if (m_treeBuilt) return;
    m_treeBuilt = true;
    const QIcon folderIcon =
        ImageList::fromBitmap(QStringLiteral("FSPRMULTISEL_IL1"), 16, 16).icon(0);
    // The catalogue's nodes come parent before child, siblings in catalogue order.
    const std::vector<FolderNode>& nodes = m_catalogue.Folders();
    m_folderItems.assign(nodes.size(), nullptr);
    QList<QTreeWidgetItem*> topLevel;
    QTreeWidgetItem* current = nullptr;
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const FolderNode& node = nodes[n];
        const TTreeData& folder = m_catalogue.Records()[static_cast<std::size_t>(node.record)];
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::fromStdString(folder.ANAME));
        item->setIcon(0, folderIcon);
        item->setData(0, Qt::UserRole, node.record);
        m_folderItems[n] = item;
        if (node.record == m_currentFolder && !current) current = item;
        if (node.parentNode < 0) {
            topLevel.append(item);
        } else {
            m_folderItems[static_cast<std::size_t>(node.parentNode)]->addChild(item);
        }
    }
    m_tree->addTopLevelItems(topLevel);
    if (current) {
        current->setExpanded(true);
        m_tree->setCurrentItem(current);
    }
}

void TGoodsPicker::openSelectedFolder() {
    const int folder = recordOf(m_tree->currentItem());
    if (folder < 0) return;
    openFolder(folder);
}

int TGoodsPicker::startFolder() const {
    const std::vector<FolderNode>& nodes = m_catalogue.Folders();
    const auto& records = m_catalogue.Records();
    // The folder used last in this session (remembered by the main window, which lives as
    // long as the program), else the first folder that holds goods, else the first folder.
    const QWidget* session = MainWindow();
    const std::string last =
        session ? session->property(kLastFolderProperty).toString().toStdString() : std::string();
    if (!last.empty()) {
        for (const FolderNode& node : nodes) {
            if (records[static_cast<std::size_t>(node.record)].GUID == last) return node.record;
        }
    }
    for (const FolderNode& node : nodes) {
        if (!m_catalogue.GoodsOf(node.record).empty()) return node.record;
    }
    const std::vector<int>& top = m_catalogue.TopFolders();
    return top.empty() ? -1 : nodes[static_cast<std::size_t>(top.front())].record;
}

void TGoodsPicker::openFolder(int folder) {
    leaveFoundViews();  // a folder chosen in the drop-down ends a search or the earlier orders
    m_currentFolder = folder;
    if (QWidget* session = MainWindow()) {
        session->setProperty(
            kLastFolderProperty,
            ToQString(m_catalogue.Records()[static_cast<std::size_t>(folder)].GUID));
    }
    folderBarText();
    m_goods->clear();
    QList<QTreeWidgetItem*> rows;
    for (int g : m_catalogue.GoodsOf(folder)) {
        auto* row = new QTreeWidgetItem;
        row->setText(
            0, QString::fromStdString(m_catalogue.Records()[static_cast<std::size_t>(g)].ANAME));
        row->setData(0, Qt::UserRole, g);
        rows.append(row);
    }
    m_goods->addTopLevelItems(rows);
    closeDropDown();
    for (QTreeWidgetItem* row : rows) fillRow(row);
    // The keyboard goes on in the list: its first row chosen (Enter: the keypad), letters
    // start a search.
    if (!rows.isEmpty()) m_goods->setCurrentItem(rows.first());
    m_goods->setFocus(Qt::OtherFocusReason);
}

void TGoodsPicker::fillRow(QTreeWidgetItem* row) {
    const int record = recordOf(row);
    if (record < 0) return;
    const TTreeData& r = m_catalogue.Records()[static_cast<std::size_t>(record)];
    row->setText(m_quantityColumn, Money2(r.quantity, true));
    row->setTextAlignment(m_quantityColumn, Qt::AlignRight | Qt::AlignVCenter);
    if (m_sums && m_priceColumn > 0 && m_sumColumn > 0) {
        row->setText(m_priceColumn, Money2(r.PRICE, true));
        row->setText(m_sumColumn, Money2(MoneyMul(r.PRICE, r.quantity), true));
        row->setTextAlignment(m_priceColumn, Qt::AlignRight | Qt::AlignVCenter);
        row->setTextAlignment(m_sumColumn, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void TGoodsPicker::showEvent(QShowEvent* event) {
    m_result.clear();
    setWindowTitle(QStringLiteral(" ") +
                   QString::fromStdString(GetOption("MultiSelFormText", kDefaultCaption)));
    if (QTreeWidgetItem* header = m_goods->headerItem()) {
        header->setText(0, QString::fromStdString(GetOption("Nomenkl", kColumnGoods)));
        m_foundRows->setCaption(0, header->text(0));
        if (m_goods->columnCount() > 1) {
            header->setText(1, QString::fromStdString(GetOption("Count", kColumnCount)));
            m_foundRows->setCaption(1, header->text(1));
        }
    }
    m_sums = GetOption("UseSUMS", "") == "1";
    Dialog::showEvent(event);
    // The folded names for the search, built while the agent looks at the window: the first
    // letter typed then only scans them.
    QTimer::singleShot(0, this, [this] { m_searchIndex.Prepare(); });
}

void TGoodsPicker::enterQuantity() {
    if (m_view != View::Folder) {
        const QModelIndex current = m_found->currentIndex();
        if (!current.isValid() || !m_found->selectionModel()->isRowSelected(current.row())) return;
        const int record = m_foundRows->recordAt(current.row());
        if (record < 0) return;
        const TTreeData& r = m_catalogue.Records()[static_cast<std::size_t>(record)];
        Money quantity = r.quantity;
        if (!EditQuantity(quantity, m_sums ? r.PRICE : kNoPrice, this)) return;
        m_catalogue.SetQuantity(record, quantity);
        m_foundRows->rowChanged(current.row());
        return;
    }
    QTreeWidgetItem* row = m_goods->currentItem();
    if (!row || !row->isSelected()) return;
    const int record = recordOf(row);
    if (record < 0) return;
    const TTreeData& r = m_catalogue.Records()[static_cast<std::size_t>(record)];
    Money quantity = r.quantity;
    if (!EditQuantity(quantity, m_sums ? r.PRICE : kNoPrice, this)) return;
    m_catalogue.SetQuantity(record, quantity);
    fillRow(row);
}

void TGoodsPicker::folderBarText() {
    QString text;
    switch (m_view) {
        case View::Folder: {
            const int folder = m_currentFolder;
            if (folder >= 0 && static_cast<std::size_t>(folder) < m_catalogue.Records().size()) {
                text = QStringLiteral(" ") +
                       QString::fromStdString(
                           m_catalogue.Records()[static_cast<std::size_t>(folder)].ANAME);
            } else if (m_catalogue.Folders().empty()) {
                text = ToQString(kDirectoriesEmpty);  // where the goods come from
            }
            break;
        }
        case View::Search:
            text = ToQString(kFoundBar) + QString::number(m_foundRows->rowCount());
            break;
        case View::Earlier:
            text = ToQString(kEarlierBar);
            break;
    }
    m_folderBar->setText(text);
}

void TGoodsPicker::showFolderView() {
    const bool wasFound = m_view != View::Folder;
    m_view = View::Folder;
    m_earlierAction->setChecked(false);
    m_foundRows->clear();
    m_pages->setCurrentWidget(m_goods);
    // Quantities typed in the other views belong to the same goods: redraw the folder's rows.
    if (wasFound) {
        for (int i = 0; i < m_goods->topLevelItemCount(); ++i) fillRow(m_goods->topLevelItem(i));
    }
    folderBarText();
}

void TGoodsPicker::showFound(std::vector<int> records, QStringList notes, View view) {
    m_view = view;
    m_earlierAction->setChecked(view == View::Earlier);
    m_foundRows->setRows(std::move(records), std::move(notes));
    m_pages->setCurrentWidget(m_found);
    if (m_foundRows->rowCount() > 0) {
        m_found->setCurrentIndex(m_foundRows->index(0, 0));
        m_found->scrollToTop();
    }
    folderBarText();
}

void TGoodsPicker::leaveFoundViews() {
    if (m_searchPanel->isVisible() || !m_search->text().isEmpty()) {
        const QSignalBlocker quiet(m_search);
        m_search->clear();
        m_searchPanel->hide();
        m_searchAction->setChecked(false);
    }
    if (m_view != View::Folder) showFolderView();
}

void TGoodsPicker::openSearch() {
    if (m_view == View::Earlier) showFolderView();
    m_searchPanel->show();
    m_searchAction->setChecked(true);
    m_search->setFocus(Qt::ShortcutFocusReason);
}

void TGoodsPicker::closeSearch() {
    leaveFoundViews();
    m_goods->setFocus(Qt::OtherFocusReason);
}

void TGoodsPicker::search(const QString& text) {
    const std::vector<int>& found = m_searchIndex.Find(text.toStdString());
    if (found.empty() && text.trimmed().isEmpty()) {
        if (m_view == View::Search) showFolderView();
        return;
    }
    showFound(found, {}, View::Search);
}

void TGoodsPicker::toggleEarlier() {
    if (m_view == View::Earlier) {
        showFolderView();
        return;
    }
    if (m_clientGuid.empty()) return;
    const std::vector<EarlierGoods> earlier = ReadEarlierGoods(m_clientGuid, m_documentGuid);
    std::vector<std::string> guids;
    guids.reserve(earlier.size());
    for (const EarlierGoods& g : earlier) guids.push_back(g.G_GUID);
    const std::vector<int> records = m_catalogue.FindGoods(guids);
    // Goods the catalogue no longer has cannot be picked: they are not shown.
    std::vector<int> shown;
    QStringList notes;
    for (std::size_t i = 0; i < earlier.size(); ++i) {
        if (records[i] < 0) continue;
        shown.push_back(records[i]);
        const std::string when = earlier[i].date > 0 ? DateToText(earlier[i].date) : "?";
        notes << QString::fromStdString(when + ": " + MoneyToText(earlier[i].quantity, 2, false));
    }
    if (shown.empty()) {
        m_earlierAction->setChecked(false);
        notifier().message(kNoEarlierOrders);
        return;
    }
    if (m_searchPanel->isVisible()) leaveFoundViews();
    showFound(std::move(shown), std::move(notes), View::Earlier);
    m_found->setFocus(Qt::OtherFocusReason);
}

void TGoodsPicker::confirm() {
    m_result = m_catalogue.ResultLines();
    closeDialog(true);
}

bool TGoodsPicker::dropDownOpen() const { return m_dropDown->isVisible(); }

void TGoodsPicker::openDropDown() {
    ensureTree();
    const int count = ExpandOrCollapseAll(m_tree, true, kDeepestExpandedLevel);
    for (std::size_t n = 0; n < m_folderItems.size(); ++n) {
        if (m_catalogue.Folders()[n].record == m_currentFolder) {
            m_tree->setCurrentItem(m_folderItems[n]);
            break;
        }
    }
    const QPoint barPos = m_folderBar->mapTo(this, QPoint(0, 0));
    const int left = barPos.x() + 2;
    const int top = barPos.y() + m_folderBar->height() + 2;
    int height = qMax(40, this->height() - top - 45);
    m_dropDown->setGeometry(left, top, m_folderBar->width(), height);
    m_dropDown->show();
    m_dropDown->raise();
    const int rowHeight = TreeRowHeight(m_tree);
    if (rowHeight >= 0) {
        const int needed =
            style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 + (rowHeight + 1) * qMax(1, count);
        if (needed < height) height = needed;
    }
    m_dropDown->setGeometry(left, top, m_folderBar->width(), height);
    m_dropDownButtons->show();
    m_tree->setFocus();
}

void TGoodsPicker::closeDropDown() {
    m_dropDown->hide();
    m_dropDownButtons->hide();
}

bool TGoodsPicker::typeToSearch(QKeyEvent* key) {
    const QString text = key->text();
    if (text.isEmpty() || !text.at(0).isPrint()) return false;
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    // A blank starts nothing (it would find half the catalogue); inside a search it is typed.
    if (text.at(0).isSpace() && !m_searchPanel->isVisible()) return false;
    openSearch();
    QCoreApplication::sendEvent(m_search, key);
    return true;
}

bool TGoodsPicker::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_tree && event->type() == QEvent::FocusOut) {
        auto* focus = static_cast<QFocusEvent*>(event);
        if (focus->reason() != Qt::PopupFocusReason) closeDropDown();
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (watched == m_tree && enter) {
            openSelectedFolder();
            return true;
        }
        if (watched == m_tree && key->key() == Qt::Key_Escape) {
            closeDropDown();  // Escape here closes the drop-down, not the window
            return true;
        }
        if (watched == m_folderBar && enter) {
            openDropDown();  // Enter on the focused folder bar is a tap, like Space
            return true;
        }
        if ((watched == m_goods || watched == m_found) && enter) {
            enterQuantity();
            return true;
        }
        if ((watched == m_goods || watched == m_found) && typeToSearch(key)) return true;
        if (watched == m_search) {
            switch (key->key()) {
                case Qt::Key_Escape:
                    closeSearch();  // Escape here closes the search, not the window
                    return true;
                case Qt::Key_Up:
                case Qt::Key_Down:
                case Qt::Key_PageUp:
                case Qt::Key_PageDown:
                    // The arrows walk the results while the letters stay in the field.
                    if (m_view == View::Search) QCoreApplication::sendEvent(m_found, key);
                    return true;
                default:
                    break;
            }
        }
    }
    return Dialog::eventFilter(watched, event);
}

}  // namespace velmorant
