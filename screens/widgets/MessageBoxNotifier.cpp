#include "screens/widgets/MessageBoxNotifier.h"

#include <QMessageBox>

#include "screens/widgets/MainWindow.h"

namespace velmorant {

MessageAnswer MessageBoxNotifier::show(const std::string& text, MessageIcon icon,
                                       MessageButtons buttons) {
    QWidget* ownerWindow = MainWindow();
    QMessageBox box(ownerWindow);
    box.setObjectName(QStringLiteral("messageBox"));
    box.setWindowTitle(ownerWindow ? ownerWindow->windowTitle() : QString());
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
