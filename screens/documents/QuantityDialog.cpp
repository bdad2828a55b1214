#include "screens/documents/QuantityDialog.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>

#include "screens/widgets/MainWindow.h"
#include "screens/widgets/QtText.h"
#include "screens/widgets/TouchTargets.h"

namespace velmorant {

namespace {

QFont BoldFont(const QFont& base, int pixelHeight) {
    QFont f = base;
    f.setBold(true);
    f.setPixelSize(pixelHeight);
    return f;
}

}  // namespace

TQuantityDialog::TQuantityDialog(Money quantity, Money price, QWidget* owner)
    : Dialog(owner), m_entry(quantity, price) {
    namespace t = quantity_texts;
    setObjectName(QStringLiteral("quantityDialog"));
    setWindowTitle(ToQString(t::kCaption));
    menuBar()->hide();  // the keypad has its own two buttons
    QWidget* area = body();

    m_edit = new QLineEdit(area);
    m_edit->setObjectName(QStringLiteral("quantityEdit"));
    m_edit->setFont(BoldFont(font(), 22));
    m_edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_edit->setContextMenuPolicy(Qt::NoContextMenu);  // pasting goes through the filter only
    // The keypad replaces the on-screen keyboard: the edit box does not call it up.
    m_edit->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::textChanged, this, [this] { recompute(); });

    m_keypad = new QWidget(area);
    m_keypad->setObjectName(QStringLiteral("keypad"));
    const QuantityLayout portrait = QuantityLayoutFor(1, 2);
    for (const KeypadKey& key : portrait.keys) {
        auto* button = new QPushButton(ToQString(key.text), m_keypad);
        button->setObjectName(QStringLiteral("key") + ToQString(key.text));
        button->setFocusPolicy(Qt::NoFocus);  // the edit box keeps the caret and selection
        button->setAutoDefault(false);
        const QString text = ToQString(key.text);
        connect(button, &QPushButton::clicked, this, [this, text] { pressKey(text); });
        m_keys.append(button);
    }

    m_ok = new QPushButton(ToQString(t::kOk), area);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel = new QPushButton(ToQString(t::kCancel), area);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    for (QPushButton* b : {m_ok, m_cancel}) {
        // Reached with Tab, and then Enter or Space presses the button itself; a tap leaves
        // the caret and selection in the edit box.
        b->setAutoDefault(true);
        b->setFocusPolicy(Qt::TabFocus);
    }
    auto* confirmAction = new QAction(this);
    connect(confirmAction, &QAction::triggered, this, [this] { confirm(); });
    auto* cancelAction = new QAction(this);
    connect(cancelAction, &QAction::triggered, this, [this] { closeDialog(false); });
    setDefaultCommand(confirmAction);
    setCancelCommand(cancelAction);
    connect(m_ok, &QPushButton::clicked, confirmAction, &QAction::trigger);
    connect(m_cancel, &QPushButton::clicked, cancelAction, &QAction::trigger);

    m_priceLabel = new QLabel(ToQString(t::kPriceAtCreation), area);
    m_priceLabel->setObjectName(QStringLiteral("priceLabel"));
    m_priceLabel->setFont(BoldFont(font(), 18));
    m_sumLabel = new QLabel(ToQString(t::kSumAtCreation), area);
    m_sumLabel->setObjectName(QStringLiteral("sumLabel"));
    m_sumLabel->setFont(BoldFont(font(), 20));
}

void TQuantityDialog::layOut() {
    QSize screenSize = m_screenOverride;
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!screenSize.isValid()) screenSize = s ? s->geometry().size() : QSize(240, 320);
    const QuantityLayout l = QuantityLayoutFor(screenSize.width(), screenSize.height());
    // On a phone the keypad fills the screen's width and its keys reach a finger's size; on a
    // handheld (and a desktop) it is exactly as drawn.
    double fx = 1.0;
    double fy = TouchScale(this, 22);
    if (fy > 1.0 && s && !m_screenOverride.isValid()) {
        const QRect available = s->availableGeometry();
        fx = double(available.width()) / l.window.width;
        fy = std::min(std::max(fx, fy), double(available.height()) / l.window.height);
    }
    const auto rect = [fx, fy](const Rect& r) {
        return QRect(qRound(r.x * fx), qRound(r.y * fy), qRound(r.width * fx),
                     qRound(r.height * fy));
    };
    const QRect window = rect({0, 0, l.window.width, l.window.height});
    setFixedSize(window.size());
    if (fx == 1.0 && fy == 1.0) {
        move(l.window.x, l.window.y);
    } else if (s) {
        QRect centred(QPoint(), window.size());
        centred.moveCenter(s->availableGeometry().center());
        move(centred.topLeft());
        m_edit->setFont(BoldFont(font(), qRound(22 * fy)));
        m_priceLabel->setFont(BoldFont(font(), qRound(18 * fy)));
        m_sumLabel->setFont(BoldFont(font(), qRound(20 * fy)));
    }
    m_edit->setGeometry(rect(l.edit));
    m_keypad->setGeometry(rect(l.keypad));
    for (int i = 0; i < m_keys.size(); ++i) {
        m_keys[i]->setGeometry(rect(l.keys[static_cast<std::size_t>(i)].rect));
    }
    m_ok->setGeometry(rect(l.ok));
    m_cancel->setGeometry(rect(l.cancel));
    m_priceLabel->setGeometry(rect(l.priceLabel));
    m_sumLabel->setGeometry(rect(l.sumLabel));
}

void TQuantityDialog::showEvent(QShowEvent* event) {
    layOut();
    m_priceLabel->setVisible(m_entry.PriceShown());
    m_sumLabel->setVisible(m_entry.PriceShown());
    m_priceLabel->setText(QString::fromStdString(m_entry.PriceText()));
    m_sumLabel->setText(QString::fromStdString(m_entry.SumText()));
    m_edit->setText(QString::fromStdString(m_entry.QuantityText()));
    m_edit->selectAll();  // the first key typed replaces the whole text
    m_edit->setFocus();
    Dialog::showEvent(event);
}

void TQuantityDialog::pressKey(const QString& text) {
    m_edit->setFocus();
    if (text == QLatin1String(quantity_texts::kClear)) {
        m_edit->clear();
        return;
    }
    if (text == QLatin1String(quantity_texts::kBackspace)) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
        QCoreApplication::sendEvent(m_edit, &press);
        return;
    }
    if (text.size() != 1) return;
    const int key = text == QLatin1String(".") ? int(Qt::Key_Period)
                                               : int(Qt::Key_0) + (text[0].unicode() - '0');
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(m_edit, &press);
}

namespace {
// Where the edit box's selection stands: a typed key replaces it.
std::size_t SelectionStart(const QLineEdit& edit) {
    return edit.hasSelectedText() ? static_cast<std::size_t>(edit.selectionStart()) : 0;
}
std::size_t SelectionLength(const QLineEdit& edit) {
    return edit.hasSelectedText() ? static_cast<std::size_t>(edit.selectionLength()) : 0;
}
}  // namespace

void TQuantityDialog::typeChar(QChar c) {
    if (c.unicode() > 127) return;
    const QuantityCharResult r =
        FilterQuantityChar(m_edit->text().toStdString(), SelectionStart(*m_edit),
                           SelectionLength(*m_edit), static_cast<char>(c.unicode()));
    if (r.action == QuantityCharAction::Confirm) {
        confirm();
    } else if (r.action == QuantityCharAction::Insert && static_cast<unsigned char>(r.ch) >= 32) {
        m_edit->insert(QString(QChar(r.ch)));
    }
}

bool TQuantityDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_edit || event->type() != QEvent::KeyPress) {
        return Dialog::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste)) {
        // Pasted text is filtered character by character, like typing it.
        const QString pasted = QGuiApplication::clipboard()->text();
        for (QChar c : pasted) typeChar(c);
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        confirm();
        return true;
    }
    const QString text = key->text();
    if (text.size() != 1) return false;  // arrows, Delete and the like act as usual
    const QChar c = text[0];
    if (c.unicode() > 127) return true;  // no letter of any alphabet gets in
    const QuantityCharResult r =
        FilterQuantityChar(m_edit->text().toStdString(), SelectionStart(*m_edit),
                           SelectionLength(*m_edit), static_cast<char>(c.unicode()));
    switch (r.action) {
        case QuantityCharAction::Discard:
            return true;
        case QuantityCharAction::Confirm:
            confirm();
            return true;
        case QuantityCharAction::Insert:
            if (r.ch != static_cast<char>(c.unicode())) {
                m_edit->insert(QString(QChar(r.ch)));  // the comma arrives as a point
                return true;
            }
            return false;
    }
    return false;
}

void TQuantityDialog::recompute() {
    if (m_entry.Recompute(m_edit->text().toStdString())) {
        m_sumLabel->setText(QString::fromStdString(m_entry.SumText()));
    }
}

void TQuantityDialog::confirm() {
    if (m_entry.Confirm(m_edit->text().toStdString())) closeDialog(true);
}

bool EditQuantity(Money& quantity, Money price, QWidget* owner) {
    TQuantityDialog dialog(quantity, price, owner ? owner : MainWindow());
    if (dialog.exec() != Dialog::Confirmed) return false;
    quantity = dialog.quantity();
    return true;
}

}  // namespace velmorant
