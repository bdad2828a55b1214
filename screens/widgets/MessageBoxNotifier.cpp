#include "screens/widgets/MessageBoxNotifier.h"

#include <QApplication>
#include <QEvent>
#include <QList>
#include <QMessageBox>
#include <QPointer>

#include "screens/widgets/MainWindow.h"

namespace velmorant {

namespace {
// The program's own screens and dialogs; pop-ups (menus, tool tips) never own a box.
bool isScreen(const QWidget* window) {
    if (!window || !window->isWindow() || !window->isVisible()) return false;
    const Qt::WindowType type = window->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}
}  // namespace

// Remembers the order in which the program's windows were last active.
class MessageBoxNotifier::ActiveWindows : public QObject {
public:
    ActiveWindows() {
        if (qApp) qApp->installEventFilter(this);
    }

    // The most recently active window that is still shown, nullptr when none is.
    QWidget* last() const {
        for (auto it = m_order.crbegin(); it != m_order.crend(); ++it) {
            if (isScreen(*it)) return *it;
        }
        return nullptr;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow()) {
                m_order.removeAll(QPointer<QWidget>(widget));
                m_order.removeAll(QPointer<QWidget>());
                m_order.append(widget);
            }
        }
        return false;
    }

private:
    QList<QPointer<QWidget>> m_order;
};

MessageBoxNotifier::MessageBoxNotifier() : m_active(std::make_unique<ActiveWindows>()) {}
MessageBoxNotifier::~MessageBoxNotifier() = default;

QWidget* MessageBoxNotifier::askingWindow() const {
    QWidget* journal = MainWindow();
    if (!journal) return nullptr;  // before start-up made the journal: no owner
    if (QWidget* active = QApplication::activeWindow(); isScreen(active)) return active;
    if (QWidget* modal = QApplication::activeModalWidget(); isScreen(modal)) return modal;
    if (QWidget* last = m_active->last()) return last;
    return journal;
}

MessageAnswer MessageBoxNotifier::show(const std::string& text, MessageIcon icon,
                                       MessageButtons buttons) {
    QWidget* journal = MainWindow();
    QMessageBox box(askingWindow());
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(journal ? journal->windowTitle() : QString());
    box.setText(QString::fromStdString(text));
    switch (icon) {
        case MessageIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
    }
    switch (buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MessageButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        case MessageButtons::RetryCancel:
            box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
            break;
    }
    if (buttons == MessageButtons::YesNo) box.setEscapeButton(QMessageBox::No);
    box.show();
    box.raise();
    box.activateWindow();
    switch (box.exec()) {
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        case QMessageBox::Cancel:
            return MessageAnswer::Cancel;
        case QMessageBox::Retry:
            return MessageAnswer::Retry;
        default:
            if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
            if (buttons == MessageButtons::YesNo) return MessageAnswer::No;
            return MessageAnswer::Cancel;
    }
}

}  // namespace velmorant
