#include "screens/documents/ClientPicker.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "core/db/Notifier.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/documents/RepeatOrder.h"
#include "screens/widgets/CaseFolding.h"
#include "screens/widgets/EmptyHint.h"
#include "screens/widgets/ImageList.h"
#include "screens/widgets/MainWindow.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/SoftKeyboard.h"
#include "screens/widgets/TouchTargets.h"
#include "screens/widgets/ViewHelpers.h"

namespace velmorant {

namespace {
// Texts of the client picker.
const char* const kCaption = "Справочник";
const char* const kChoose = "[ Выбрать ]";
const char* const kCancel = "[ Отмена ]";
const char* const kForbidden = kClientForbidden;
const char* const kColumnCaptions[] = {" 1", " 2", " 3", "4", "5"};

enum Column { ColName = 0, ColGuid = 1, ColSpare = 2, ColDeleted = 3, ColInfo = 4 };

}  // namespace

ClientPicker::ClientPicker(QWidget* owner) : Dialog(owner) {
    setObjectName(QStringLiteral("clientPicker"));
    setWindowTitle(QString::fromUtf8(kCaption));
    // A full screen of its own: it covers the window it was opened from, the same size.
    if (owner) setGeometry(owner->window()->geometry());

    auto* layout = new QVBoxLayout(body());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* searchPanel = new QWidget(body());
    searchPanel->setFixedHeight(TouchSize(this, 23));
    auto* searchLayout = new QHBoxLayout(searchPanel);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    searchLayout->setSpacing(0);
    m_search = new QLineEdit(searchPanel);
    m_search->setObjectName(QStringLiteral("searchField"));
    SoftKeyboard::showOnFocus(m_search);
    m_searchButton = new QToolButton(searchPanel);
    m_searchButton->setObjectName(QStringLiteral("searchButton"));
    m_searchButton->setFixedWidth(20);
    m_searchButton->setIcon(
        ImageList::fromBitmap(QStringLiteral("BITBTN4_BITMAP"), 16, 16).icon(0));
    m_searchButton->setEnabled(false);  // a picture only: the search runs as the agent types
    searchLayout->addWidget(m_search, 1);
    searchLayout->addWidget(m_searchButton, 0);
    layout->addWidget(searchPanel, 0);

    auto* listPanel = new QFrame(body());
    listPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* listLayout = new QVBoxLayout(listPanel);
    listLayout->setContentsMargins(1, 1, 1, 1);
    m_list = new QTreeWidget(listPanel);
    m_list->setObjectName(QStringLiteral("clientList"));
    m_list->setColumnCount(5);
    QStringList captions;
    for (const char* c : kColumnCaptions) captions << QString::fromUtf8(c);
    m_list->setHeaderLabels(captions);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    WrapNames(m_list, ColName);  // a long name on two lines
    m_list->header()->setStretchLastSection(false);
    m_list->setBackgroundRole(QPalette::Base);
    m_list->viewport()->installEventFilter(this);
    listLayout->addWidget(m_list);
    layout->addWidget(listPanel, 1);

    QAction* chooseAction = menuBar()->addCommand(QString::fromUtf8(kChoose));
    QAction* cancelAction = menuBar()->addCommand(QString::fromUtf8(kCancel));
    connect(chooseAction, &QAction::triggered, this, [this] { choose(); });
    connect(cancelAction, &QAction::triggered, this, [this] { cancel(); });
    setDefaultCommand(chooseAction);
    setCancelCommand(cancelAction);

    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& t) { search(t); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { choose(); });
}

void ClientPicker::fill(const std::string& table, const std::string& selectedGuid) {
    m_list->clear();
    m_names = FoldedNames();
    m_guid = Trim(selectedGuid);
    std::unique_ptr<TQueryResult> q = Query("select ANAME, UNAME, GUID, IS_DELETED, INFO from " +
                                            table + " where (IS_FOLDER=0) order by UNAME, rowid");
    if (q) {
        const int cName = q->ColumnIndex("ANAME");
        const int cGuid = q->ColumnIndex("GUID");
        const int cDeleted = q->ColumnIndex("IS_DELETED");
        const int cInfo = q->ColumnIndex("INFO");
        QList<QTreeWidgetItem*> items;
        QTreeWidgetItem* selected = nullptr;
        std::vector<std::string> names;
        for (q->First(); !q->AtEnd(); q->Next()) {
            auto* item = new QTreeWidgetItem;
            const std::string guid = Trim(q->Cell(cGuid));
            names.push_back(Trim(q->Cell(cName)));
            item->setText(ColName, ToQString(names.back()));
            item->setText(ColGuid, ToQString(guid));
            item->setText(ColDeleted, ToQString(Trim(q->Cell(cDeleted))));
            item->setText(ColInfo, ToQString(Trim(q->Cell(cInfo))));
            if (!selected && !m_guid.empty() && guid == m_guid) selected = item;
            items.append(item);
        }
        m_list->addTopLevelItems(items);
        // An empty directory says where the clients come from.
        m_search->setPlaceholderText(items.isEmpty() ? ToQString(kDirectoriesEmpty) : QString());
        m_names =
            FoldedNames(std::vector<std::string_view>(names.begin(), names.end()), QtCaseFolder());
        if (selected) {
            m_list->setCurrentItem(selected);
            m_list->scrollToItem(selected);
        }
    }
    fitColumns(m_list->viewport()->width() - 2);
}

void ClientPicker::fitColumns(int firstColumnWidth) {
    m_list->setColumnWidth(ColName, qMax(0, firstColumnWidth));
    m_list->setColumnWidth(ColGuid, 0);
    m_list->setColumnWidth(ColSpare, 0);
    m_list->setColumnWidth(ColDeleted, 50);
    m_list->setColumnWidth(ColInfo, 50);
}

bool ClientPicker::eventFilter(QObject* watched, QEvent* event) {
    // The list follows every change of the window's size, the first layout included.
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) {
        fitColumns(m_list->viewport()->width() - 50);
    }
    return Dialog::eventFilter(watched, event);
}

void ClientPicker::search(const QString& text) {
    // The first row from the top whose name begins with the text, letters in any case; when
    // none does, the first whose name holds it anywhere (a word in the middle of the name).
    const int row = FindFirstByName(m_names, FoldCase(text.toStdString()));
    QTreeWidgetItem* item = row >= 0 ? m_list->topLevelItem(row) : nullptr;
    if (!item) return;
    // The rows have heights of their own (a long name takes two lines), and the list measures
    // every row between the top one shown and a row it redraws: the old row is let go while
    // it is on the screen and the new one chosen once it is, so that a jump over thousands
    // of clients measures only the rows that are seen.
    m_list->setCurrentItem(nullptr);
    m_list->scrollToItem(item);
    m_list->setCurrentItem(item);
}

void ClientPicker::choose() {
    QTreeWidgetItem* item = m_list->currentItem();
    if (!item || !item->isSelected()) return;
    if (item->text(ColDeleted) == QLatin1String("1")) {
        notifier().message(kForbidden, MessageIcon::Warning);
        return;
    }
    m_name = item->text(ColName).toStdString();
    m_guid = item->text(ColGuid).toStdString();
    m_info = item->text(ColInfo).toStdString();
    closeDialog(true);
}

void ClientPicker::cancel() {
    m_guid.clear();
    m_name.clear();
    m_info.clear();
    closeDialog(false);
}

bool PickClient(std::string& guid, std::string& name, std::string& info, QWidget* owner) {
    ClientPicker picker(owner ? owner : MainWindow());
    picker.fill("SPR_CLIENTS", guid);
    const bool chosen = picker.exec() == Dialog::Confirmed;
    guid = picker.selectedGuid();
    name = picker.selectedName();
    info = picker.selectedInfo();
    return chosen;
}

}  // namespace velmorant
