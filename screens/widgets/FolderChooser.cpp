#include "screens/widgets/FolderChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

namespace velmorant {

QString SpecialFolderPath(int id) {
    QString path;
    switch (id) {
        case static_cast<int>(SpecialFolder::Documents):
            path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
            break;
        default:
            return QString();
    }
    if (path.isEmpty()) return QString();
    if (!QDir().mkpath(path)) return QString();
    return path;
}

QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) {
    QFileDialog dialog(
        parent, title,
        startFolder.isEmpty() ? SpecialFolderPath(SpecialFolder::Documents) : startFolder);
    dialog.setObjectName(QStringLiteral("folderChooser"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return QString();
    QString folder = QDir::cleanPath(chosen.first());
    return folder;
}

}  // namespace velmorant
