#include "screens/widgets/MessageBoxNotifier.h"

#include <QApplication>
#include <QMessageBox>

#include "screens/widgets/MainWindow.h"

namespace velmorant {

MessageBoxNotifier::MessageBoxNotifier() : m_active(std::make_unique<ActiveWindowOrder>()) {}
MessageBoxNotifier::~MessageBoxNotifier() = default;

QWidget* MessageBoxNotifier::askingWindow() const {
    QWidget* journal = MainWindow();
    if (!journal) return nullptr;  // before start-up made the journal: no owner
    if (QWidget* active = QApplication::activeWindow(); ActiveWindowOrder::isShownScreen(active))
        return active;
    if (QWidget* modal = QApplication::activeModalWidget(); ActiveWindowOrder::isShownScreen(modal))
        return modal;
    if (QWidget* last = m_active->lastVisible()) return last;
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
