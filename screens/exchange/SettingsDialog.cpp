#include "screens/exchange/SettingsDialog.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QVBoxLayout>

#include "core/db/Notifier.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/TouchTargets.h"
#include "screens/widgets/ViewHelpers.h"

namespace velmorant {

namespace {

// The texts of the screen.
const char* const kCaption = "Настройки";
const char* const kOk = "[ OK ]";
const char* const kCancel = "[ Отмена ]";
const char* const kConnectionPage = "Связь";
const char* const kOptionsPage = "Настройки";
const char* const kConnectionTitle = "Настройки соединения";
const char* const kUseFtp = " FTP - соединение";
const char* const kFtpAuto = "Сразу";
const char* const kServer = "Сервер: ";
const char* const kPort = "Порт: ";
const char* const kPath = "Каталог: ";
const char* const kFtpSecure = " Шифрование (TLS)";
const char* const kFtpAuth = " Авторизация";
const char* const kLogin = "Логин: ";
const char* const kPassword = "Пароль: ";
const char* const kUseZip = " Использовать ZIP-сжатие";
const char* const kAnswerKey = "Ключ ответа: ";
const char* const kAutoExchange = "Автообмен, мин: ";
const char* const kAutoExchangeHint =
    "Обмен с сервером сам, без вопросов: каждые столько минут, через минуту после записи "
    "документа и при появлении сети, когда открыт журнал. 0 или пусто — выключен.";
const char* const kValueColumn = "Значение";
const char* const kNameColumn = "Имя";
const char* const kNotSaved = "Настройки не сохранены.";

constexpr int kTitleHeight = 21;
constexpr int kFtpRowHeight = 22;
constexpr int kFieldRowHeight = 24;
constexpr int kFtpAutoWidth = 69;
constexpr int kNameColumnWidth = 80;
constexpr int kValueColumnMinimum = 10;

// A row of the handheld's `height`, a finger's height on a phone.
QWidget* fixedRow(QWidget* parent, int height, QLayout*& layoutOut) {
    auto* row = new QWidget(parent);
    row->setFixedHeight(TouchSize(parent, height));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layoutOut = layout;
    return row;
}

}  // namespace

SettingsDialog::SettingsDialog(QWidget* parent) : Dialog(parent) {
    setWindowTitle(QString::fromUtf8(kCaption));
    auto* layout = new QVBoxLayout(body());
    layout->setContentsMargins(0, 0, 0, 0);
    m_pages = new QTabWidget(body());
    m_pages->setObjectName(QStringLiteral("pages"));
    // The connection's rows are taller than a handheld's screen: the page scrolls rather than
    // squeezing its rows into each other.
    auto* connection = new QScrollArea;
    connection->setObjectName(QStringLiteral("connectionScroll"));
    connection->setFrameShape(QFrame::NoFrame);
    connection->setWidgetResizable(true);
    connection->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connection->setWidget(buildConnectionPage());
    m_pages->addTab(connection, QString::fromUtf8(kConnectionPage));
    m_pages->addTab(buildOptionsPage(), QString::fromUtf8(kOptionsPage));
    layout->addWidget(m_pages);

    m_ok = menuBar()->addCommand(QString::fromUtf8(kOk));
    m_cancel = menuBar()->addCommand(QString::fromUtf8(kCancel));
    setDefaultCommand(m_ok);
    setCancelCommand(m_cancel);
    connect(m_ok, &QAction::triggered, this, &SettingsDialog::save);
    connect(m_cancel, &QAction::triggered, this, [this] { closeDialog(false); });

    for (QCheckBox* box : {m_useFtp, m_ftpAuth, m_useZip}) {
        connect(box, &QCheckBox::clicked, this, &SettingsDialog::applyEnablingRule);
    }
    applyEnablingRule();
}

QWidget* SettingsDialog::buildConnectionPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    auto* title = new QLabel(QString::fromUtf8(kConnectionTitle), page);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setFixedHeight(kTitleHeight);
    layout->addWidget(title);

    QLayout* rowLayout = nullptr;
    QWidget* ftpRow = fixedRow(page, kFtpRowHeight, rowLayout);
    m_useFtp = new QCheckBox(QString::fromUtf8(kUseFtp), ftpRow);
    m_useFtp->setObjectName(QStringLiteral("useFtp"));
    m_ftpAuto = new QCheckBox(QString::fromUtf8(kFtpAuto), ftpRow);
    m_ftpAuto->setObjectName(QStringLiteral("ftpAuto"));
    m_ftpAuto->setFixedWidth(kFtpAutoWidth);
    rowLayout->addWidget(m_useFtp);
    rowLayout->addWidget(m_ftpAuto);
    layout->addWidget(ftpRow);

    auto fieldRow = [&](const char* caption, const char* name, QLabel*& label, QLineEdit*& edit) {
        QLayout* l = nullptr;
        QWidget* row = fixedRow(page, kFieldRowHeight, l);
        label = new QLabel(QString::fromUtf8(caption), row);
        edit = new QLineEdit(row);
        edit->setObjectName(QString::fromLatin1(name));
        label->setBuddy(edit);
        l->addWidget(label);
        l->addWidget(edit);
        layout->addWidget(row);
    };
    fieldRow(kServer, "ftpAddress", m_addressLabel, m_address);
    fieldRow(kPort, "ftpPort", m_portLabel, m_port);
    m_port->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_port));
    fieldRow(kPath, "ftpPath", m_pathLabel, m_path);

    m_ftpSecure = new QCheckBox(QString::fromUtf8(kFtpSecure), page);
    m_ftpSecure->setObjectName(QStringLiteral("ftpSecure"));
    layout->addWidget(m_ftpSecure);

    m_ftpAuth = new QCheckBox(QString::fromUtf8(kFtpAuth), page);
    m_ftpAuth->setObjectName(QStringLiteral("ftpAuth"));
    layout->addWidget(m_ftpAuth);

    fieldRow(kLogin, "ftpLogin", m_loginLabel, m_login);
    fieldRow(kPassword, "ftpPassword", m_passwordLabel, m_password);
    m_password->setEchoMode(QLineEdit::Password);

    // The automatic exchange: minutes between runs, explained under the field.
    fieldRow(kAutoExchange, "autoExchange", m_autoExchangeLabel, m_autoExchange);
    m_autoExchange->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,5}")), m_autoExchange));
    m_autoExchangeHint = new QLabel(QString::fromUtf8(kAutoExchangeHint), page);
    m_autoExchangeHint->setObjectName(QStringLiteral("autoExchangeHint"));
    m_autoExchangeHint->setWordWrap(true);
    QFont small = m_autoExchangeHint->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_autoExchangeHint->setFont(small);
    layout->addWidget(m_autoExchangeHint);

    m_useZip = new QCheckBox(QString::fromUtf8(kUseZip), page);
    m_useZip->setObjectName(QStringLiteral("useZip"));
    layout->addWidget(m_useZip);
    // The office's public key: with it set only answers the office signed run.
    fieldRow(kAnswerKey, "answerKey", m_answerKeyLabel, m_answerKey);
    layout->addStretch(1);
    return page;
}

QWidget* SettingsDialog::buildOptionsPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    m_options = new QTableWidget(0, 2, page);
    m_options->setObjectName(QStringLiteral("options"));
    m_options->setHorizontalHeaderLabels(
        {QString::fromUtf8(kValueColumn), QString::fromUtf8(kNameColumn)});
    m_options->verticalHeader()->hide();
    m_options->horizontalHeader()->setStretchLastSection(false);
    m_options->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_options->setSelectionMode(QAbstractItemView::SingleSelection);
    m_options->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::SelectedClicked |
                               QAbstractItemView::EditKeyPressed);
    m_options->setColumnWidth(1, kNameColumnWidth);
    GrowRows(m_options);  // a finger's size on a phone
    // The list has its real width only once its page is shown: fit it then, and on every
    // resize, not only while the other page is current.
    m_options->installEventFilter(this);
    // Tab leaves the list for the next control instead of walking its cells.
    m_options->setTabKeyNavigation(false);
    layout->addWidget(m_options);
    return page;
}

void SettingsDialog::applyEnablingRule() {
    const bool ftp = m_useFtp->isChecked();
    const bool login = ftp && m_ftpAuth->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_ftpAuto, m_addressLabel, m_address, m_portLabel, m_port, m_pathLabel, m_path,
             m_ftpSecure, m_ftpAuth, m_autoExchangeLabel, m_autoExchange, m_autoExchangeHint}) {
        w->setEnabled(ftp);
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_loginLabel, m_login, m_passwordLabel, m_password}) {
        w->setEnabled(login);
    }
}

void SettingsDialog::fitValueColumn() { FitLastColumn(m_options, 0, kValueColumnMinimum); }

void SettingsDialog::showEvent(QShowEvent* event) {
    Dialog::showEvent(event);
    applyEnablingRule();
    fitValueColumn();
}

void SettingsDialog::resizeEvent(QResizeEvent* event) {
    Dialog::resizeEvent(event);
    fitValueColumn();
}

bool SettingsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_options &&
        (event->type() == QEvent::Show || event->type() == QEvent::Resize)) {
        fitValueColumn();
    }
    return Dialog::eventFilter(watched, event);
}

bool SettingsDialog::load() {
    ExchangeSettings s;
    const bool loaded = LoadExchangeSettings(s);
    setSettings(s);
    m_ok->setEnabled(loaded);
    m_pages->setCurrentIndex(0);
    fitValueColumn();
    applyEnablingRule();
    return loaded;
}

void SettingsDialog::setSettings(const ExchangeSettings& s) {
    m_useFtp->setChecked(s.useFtp);
    m_ftpAuth->setChecked(s.ftpAuth);
    m_useZip->setChecked(s.useZip);
    m_ftpAuto->setChecked(s.ftpAuto);
    m_ftpSecure->setChecked(s.ftpSecure);
    m_address->setText(ToQString(s.ftpAddress));
    m_port->setText(ToQString(s.ftpPort));
    m_path->setText(ToQString(s.ftpPath));
    m_login->setText(ToQString(s.ftpLogin));
    m_password->setText(ToQString(s.ftpPassword));
    m_autoExchange->setText(ToQString(s.autoExchange));
    m_answerKey->setText(ToQString(s.answerKey));
    m_options->setRowCount(0);
    m_options->setRowCount(static_cast<int>(s.otherOptions.size()));
    int row = 0;
    for (const auto& [name, value] : s.otherOptions) {
        auto* valueItem = new QTableWidgetItem(ToQString(value));
        valueItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        auto* nameItem = new QTableWidgetItem(ToQString(name));
        nameItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        m_options->setItem(row, 0, valueItem);
        m_options->setItem(row, 1, nameItem);
        ++row;
    }
    applyEnablingRule();
}

ExchangeSettings SettingsDialog::settings() const {
    ExchangeSettings s;
    s.useFtp = m_useFtp->isChecked();
    s.ftpAuth = m_ftpAuth->isChecked();
    s.useZip = m_useZip->isChecked();
    s.ftpAuto = m_ftpAuto->isChecked();
    s.ftpSecure = m_ftpSecure->isChecked();
    s.ftpAddress = FromQString(m_address->text());
    s.ftpPort = FromQString(m_port->text());
    s.ftpPath = FromQString(m_path->text());
    s.ftpLogin = FromQString(m_login->text());
    s.ftpPassword = FromQString(m_password->text());
    s.autoExchange = FromQString(m_autoExchange->text());
    s.answerKey = FromQString(m_answerKey->text());
    for (int row = 0; row < m_options->rowCount(); ++row) {
        const QTableWidgetItem* value = m_options->item(row, 0);
        const QTableWidgetItem* name = m_options->item(row, 1);
        s.otherOptions.emplace_back(name ? FromQString(name->text()) : std::string(),
                                    value ? FromQString(value->text()) : std::string());
    }
    return s;
}

void SettingsDialog::save() {
    if (!m_ok->isEnabled()) return;
    // A value still being edited in the list belongs to what is saved: moving the current
    // cell away commits the open editor.
    m_options->setCurrentIndex(QModelIndex());
    if (SaveExchangeSettings(settings())) {
        closeDialog(true);
        return;
    }
    notifier().message(kNotSaved);
}

bool RunSettingsDialog(QWidget* parent) {
    SettingsDialog dialog(parent);
    // A full screen of its own, like the pickers: it covers the window it was opened from.
    if (parent) dialog.setGeometry(parent->window()->geometry());
    dialog.load();
    return dialog.exec() == Dialog::Confirmed;
}

}  // namespace velmorant
