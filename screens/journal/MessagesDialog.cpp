#include "screens/journal/MessagesDialog.h"

#include <QHeaderView>
#include <QVBoxLayout>

#include "screens/widgets/MainWindow.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/TwoLineDelegate.h"

namespace velmorant {

namespace {
// Texts of the office's messages.
const char* const kListCaption = "Сообщения";
const char* const kViewCaption = "Сообщение";
const char* const kOpen = "[ Открыть ]";
const char* const kClose = "[ Закрыть ]";
const char* const kNoMessages = "Сообщений нет.";
const char* const kNoTitle = "(без темы)";

// The first line of a row: the title, else the start of the text.
QString Heading(const OfficeMessage& m) {
    if (!m.S_TITLE.empty()) return ToQString(m.S_TITLE);
    const QString body = ToQString(MessageBodyText(m.S_BODY)).simplified();
    return body.isEmpty() ? QString::fromUtf8(kNoTitle) : body;
}

void CoverOwner(QWidget* dialog, QWidget* owner) {
    // A full screen of its own: it covers the window it was opened from, the same size.
    if (owner) dialog->setGeometry(owner->window()->geometry());
}
}  // namespace

MessagesDialog::MessagesDialog(QWidget* owner) : Dialog(owner) {
    setObjectName(QStringLiteral("messagesDialog"));
    setWindowTitle(QString::fromUtf8(kListCaption));
    CoverOwner(this, owner);
    auto* layout = new QVBoxLayout(body());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_list = new QTreeWidget(body());
    m_list->setObjectName(QStringLiteral("messageList"));
    m_list->setColumnCount(1);
    m_list->setHeaderHidden(true);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setBackgroundRole(QPalette::Base);
    m_list->setItemDelegateForColumn(0, new TwoLineDelegate(m_list));
    layout->addWidget(m_list, 1);
    m_empty = new QLabel(QString::fromUtf8(kNoMessages), m_list->viewport());
    m_empty->setObjectName(QStringLiteral("noMessages"));
    m_empty->setAlignment(Qt::AlignCenter);
    auto* emptyLayout = new QVBoxLayout(m_list->viewport());
    emptyLayout->addWidget(m_empty);
    m_empty->hide();

    QAction* open = menuBar()->addCommand(QString::fromUtf8(kOpen));
    QAction* close = menuBar()->addCommand(QString::fromUtf8(kClose));
    menuBar()->setDefaultCommand(open);
    setDefaultCommand(open);
    setCancelCommand(close);
    connect(open, &QAction::triggered, this, [this] { openSelected(); });
    connect(close, &QAction::triggered, this, [this] { closeDialog(false); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        if (item == m_list->currentItem()) openSelected();
    });
}

void MessagesDialog::fill() {
    m_list->clear();
    m_messages = ReadOfficeMessages();
    QList<QTreeWidgetItem*> rows;
    for (const OfficeMessage& m : m_messages) {
        auto* row = new QTreeWidgetItem;
        row->setText(0, Heading(m));
        row->setData(0, TwoLineDelegate::kSecondLineRole, ToQString(MessageDateText(m)));
        QFont font = row->font(0);
        font.setBold(m.unread);
        row->setFont(0, font);
        rows.append(row);
    }
    m_list->addTopLevelItems(rows);
    if (!rows.isEmpty()) m_list->setCurrentItem(rows.first());
    m_empty->setVisible(rows.isEmpty());
}

void MessagesDialog::showRow(int row) {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (!item || row < 0 || static_cast<std::size_t>(row) >= m_messages.size()) return;
    QFont font = item->font(0);
    font.setBold(m_messages[static_cast<std::size_t>(row)].unread);
    item->setFont(0, font);
}

void MessagesDialog::openSelected() {
    QTreeWidgetItem* item = m_list->currentItem();
    if (!item || !item->isSelected()) return;
    const int row = m_list->indexOfTopLevelItem(item);
    if (row < 0 || static_cast<std::size_t>(row) >= m_messages.size()) return;
    OfficeMessage& message = m_messages[static_cast<std::size_t>(row)];
    // Marked read as it is opened: the agent has the whole text in front of him from here.
    if (message.unread && MarkMessageRead(message.rowId)) {
        message.unread = false;
        showRow(row);
    }
    MessageView view(message, this);
    view.exec();
}

MessageView::MessageView(const OfficeMessage& message, QWidget* owner) : Dialog(owner) {
    setObjectName(QStringLiteral("messageView"));
    setWindowTitle(QString::fromUtf8(kViewCaption));
    CoverOwner(this, owner);
    auto* layout = new QVBoxLayout(body());
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    m_title = new QLabel(Heading(message), body());
    m_title->setObjectName(QStringLiteral("messageTitle"));
    m_title->setWordWrap(true);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    auto* date = new QLabel(ToQString(MessageDateText(message)), body());
    date->setObjectName(QStringLiteral("messageDate"));
    date->setFont(TwoLineDelegate::secondLineFont(date->font()));
    m_text = new QPlainTextEdit(body());
    m_text->setObjectName(QStringLiteral("messageBody"));
    m_text->setReadOnly(true);
    m_text->setPlainText(ToQString(MessageBodyText(message.S_BODY)));
    m_text->setBackgroundRole(QPalette::Base);
    layout->addWidget(m_title);
    layout->addWidget(date);
    layout->addWidget(m_text, 1);

    QAction* close = menuBar()->addCommand(QString::fromUtf8(kClose));
    menuBar()->setDefaultCommand(close);
    setDefaultCommand(close);
    setCancelCommand(close);
    connect(close, &QAction::triggered, this, [this] { closeDialog(true); });
}

void RunMessagesDialog(QWidget* owner) {
    MessagesDialog dialog(owner ? owner : MainWindow());
    dialog.fill();
    dialog.exec();
}

}  // namespace velmorant
