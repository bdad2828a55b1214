#include "documents/GoodsPicker.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "db/Options.h"
#include "documents/OrderLines.h"
#include "documents/QuantityDialog.h"
#include "ui/ImageList.h"
#include "ui/MenuBar.h"
#include "ui/ViewHelpers.h"

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

// Folders below this many levels stay closed in the drop-down: Qt lays out open rows with
// one nested call per level, so an unbounded chain would overflow the stack.
constexpr int kDeepestExpandedLevel = 1000;

QString Utf8(const char* s) { return QString::fromUtf8(s); }
QString Money2(Money value, bool blankIfZero) {
    return QString::fromStdString(MoneyToText(value, 2, blankIfZero));
}
}  // namespace

TGoodsPicker::TGoodsPicker(QWidget* owner) : Dialog(owner) {
    setObjectName(QStringLiteral("goodsPicker"));
    // A full screen of its own: it covers the window it was opened from, the same size.
    if (owner) setGeometry(owner->window()->geometry());
    auto* layout = new QVBoxLayout(body());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The top bar: a framing picture, the folder bar, the drop-down's OK/X, a framing blank.
    auto* topBar = new QWidget(body());
    topBar->setFixedHeight(22);
    auto* top = new QHBoxLayout(topBar);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    auto* image = new QToolButton(topBar);
    image->setFixedSize(24, 22);
    image->setIcon(ImageList::fromBitmap(QStringLiteral("BITBTN1_BITMAP"), 16, 16).icon(0));
    image->setEnabled(false);
    m_folderBar = new QPushButton(topBar);
    m_folderBar->setObjectName(QStringLiteral("folderBar"));
    m_folderBar->setFixedHeight(22);
    m_folderBar->setFocusPolicy(Qt::NoFocus);
    m_folderBar->setStyleSheet(QStringLiteral("text-align: left; padding-left: 2px;"));
    m_dropDownButtons = new QWidget(topBar);
    m_dropDownButtons->setObjectName(QStringLiteral("dropDownButtons"));
    m_dropDownButtons->setFixedSize(88, 22);
    auto* ok = new QPushButton(Utf8(kDropDownOk), m_dropDownButtons);
    ok->setObjectName(QStringLiteral("dropDownOk"));
    ok->setGeometry(3, 1, 40, 20);
    auto* close = new QPushButton(Utf8(kDropDownClose), m_dropDownButtons);
    close->setObjectName(QStringLiteral("dropDownClose"));
    close->setGeometry(46, 1, 40, 20);
    for (QPushButton* b : {ok, close}) {
        b->setFocusPolicy(Qt::NoFocus);  // the tree keeps the focus, so the drop-down stays
        b->setAutoDefault(false);
    }
    m_dropDownButtons->hide();
    auto* blank = new QToolButton(topBar);
    blank->setFixedSize(12, 22);
    blank->setEnabled(false);
    top->addWidget(image);
    top->addWidget(m_folderBar, 1);
    top->addWidget(m_dropDownButtons);
    top->addWidget(blank);
    layout->addWidget(topBar);

    m_goods = new QTreeWidget(body());
    m_goods->setObjectName(QStringLiteral("goodsList"));
    m_goods->setRootIsDecorated(false);
    m_goods->setUniformRowHeights(true);
    m_goods->setSelectionMode(QAbstractItemView::SingleSelection);
    m_goods->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_goods->setBackgroundRole(QPalette::Base);
    m_goods->header()->setStretchLastSection(false);
    m_goods->installEventFilter(this);
    layout->addWidget(m_goods, 1);

    auto* contextEnter = new QAction(Utf8(kContextEnter), m_goods);
    MenuBar::setBold(contextEnter, true);
    m_goods->addAction(contextEnter);
    m_goods->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(contextEnter, &QAction::triggered, this, [this] { enterQuantity(); });

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

    QAction* enter = menuBar()->addCommand(Utf8(kEnter));
    QAction* sep1 = menuBar()->addCommand(Utf8(kSeparator));
    QAction* confirmAction = menuBar()->addCommand(Utf8(kOk));
    QAction* sep2 = menuBar()->addCommand(Utf8(kSeparator));
    QAction* cancelAction = menuBar()->addCommand(Utf8(kCancel));
    sep1->setEnabled(false);
    sep2->setEnabled(false);
    menuBar()->setDefaultCommand(enter);
    setDefaultCommand(enter);
    setCancelCommand(cancelAction);
    connect(enter, &QAction::triggered, this, [this] { enterQuantity(); });
    connect(confirmAction, &QAction::triggered, this, [this] { confirm(); });
    connect(cancelAction, &QAction::triggered, this, [this] { closeDialog(false); });

    connect(m_folderBar, &QPushButton::clicked, this, [this] { openDropDown(); });
    connect(ok, &QPushButton::clicked, this, [this] { openSelectedFolder(); });
    connect(close, &QPushButton::clicked, this, [this] { closeDropDown(); });
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item == m_tree->currentItem()) openSelectedFolder();
    });
    connect(m_goods, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item == m_goods->currentItem()) enterQuantity();
    });
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
    m_catalogue.Load(chosen);
    buildTree();

    m_currentFolder = m_tree->topLevelItem(0);
    if (m_currentFolder) {
        m_currentFolder->setExpanded(true);
        m_tree->setCurrentItem(m_currentFolder);
    }
    m_sums = GetOption("UseSUMS", "") == "1";
    m_quantityColumn = 1;
    QStringList captions = {Utf8(kColumnGoods), Utf8(kColumnCount)};
    if (m_sums) {
        captions << Utf8(kColumnPrice) << Utf8(kColumnSum);
        m_priceColumn = 2;
        m_sumColumn = 3;
    } else {
        m_priceColumn = -1;
        m_sumColumn = -1;
    }
    m_goods->setColumnCount(static_cast<int>(captions.size()));
    m_goods->setHeaderLabels(captions);
    const int widths[] = {150, 50, 62, 62};
    for (int c = 0; c < m_goods->columnCount(); ++c) {
        m_goods->setColumnWidth(c, widths[c]);
        if (c > 0) m_goods->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    openSelectedFolder();
}

// The folder tree may be as deep as the catalogue's chain of folders.
TGoodsPicker::~TGoodsPicker() { DeleteTreeItems(m_tree); }

void TGoodsPicker::buildTree() {
    DeleteTreeItems(m_tree);
    m_currentFolder = nullptr;
    const QIcon folderIcon =
        ImageList::fromBitmap(QStringLiteral("FSPRMULTISEL_IL1"), 16, 16).icon(0);
    // The catalogue's nodes come parent before child, siblings in catalogue order.
    const std::vector<TFolderNode>& nodes = m_catalogue.Folders();
    std::vector<QTreeWidgetItem*> items(nodes.size(), nullptr);
    QList<QTreeWidgetItem*> topLevel;
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const TFolderNode& node = nodes[n];
        const TTreeData& folder = m_catalogue.Records()[static_cast<std::size_t>(node.record)];
        auto* item = new QTreeWidgetItem;
        item->setText(0, QString::fromStdString(folder.ANAME));
        item->setIcon(0, folderIcon);
        item->setData(0, Qt::UserRole, node.record);
        items[n] = item;
        if (node.parentNode < 0) {
            topLevel.append(item);
        } else {
            items[static_cast<std::size_t>(node.parentNode)]->addChild(item);
        }
    }
    m_tree->addTopLevelItems(topLevel);
}

void TGoodsPicker::openSelectedFolder() {
    QTreeWidgetItem* item = m_tree->currentItem();
    const int folder = recordOf(item);
    if (folder < 0) return;
    const TTreeData& record = m_catalogue.Records()[static_cast<std::size_t>(folder)];
    m_folderBar->setText(QStringLiteral(" ") + QString::fromStdString(record.ANAME));
    m_currentFolder = item;
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
        if (m_goods->columnCount() > 1) {
            header->setText(1, QString::fromStdString(GetOption("Count", kColumnCount)));
        }
    }
    m_sums = GetOption("UseSUMS", "") == "1";
    Dialog::showEvent(event);
}

void TGoodsPicker::enterQuantity() {
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

void TGoodsPicker::confirm() {
    m_result = m_catalogue.ResultLines();
    closeDialog(true);
}

bool TGoodsPicker::dropDownOpen() const { return m_dropDown->isVisible(); }

void TGoodsPicker::openDropDown() {
    const int count = ExpandOrCollapseAll(m_tree, true, kDeepestExpandedLevel);
    if (m_currentFolder) m_tree->setCurrentItem(m_currentFolder);
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
        if (watched == m_goods && enter) {
            enterQuantity();
            return true;
        }
    }
    return Dialog::eventFilter(watched, event);
}

}  // namespace velmorant
