#include "screens/widgets/FolderChooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
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

namespace {
// Screens narrower than this get the chooser's compact layout.
constexpr int kCompactBelowWidth = 480;

// The chooser without what a narrow screen has no room for: the side bar of places, the
// file-type row (it only ever says folders), the caption before the path box and the view
// and new-folder buttons; its two buttons side by side in a row of their own under the name.
void makeCompact(QFileDialog& dialog) {
    for (const char* name : {"sidebar", "lookInLabel", "fileTypeLabel", "fileTypeCombo",
                             "newFolderButton", "listModeButton", "detailModeButton"}) {
        if (auto* w = dialog.findChild<QWidget*>(QLatin1String(name))) w->hide();
    }
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (grid && buttons) {
        grid->removeWidget(buttons);
        buttons->setOrientation(Qt::Horizontal);
        grid->addWidget(buttons, grid->rowCount(), 0, 1, grid->columnCount());
    }
    dialog.setMinimumSize(0, 0);
}
}  // namespace

QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) {
    QFileDialog dialog(
        parent, title,
        startFolder.isEmpty() ? SpecialFolderPath(SpecialFolder::Documents) : startFolder);
    dialog.setObjectName(QStringLiteral("folderChooser"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen && screen->availableGeometry().width() < kCompactBelowWidth) makeCompact(dialog);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return QString();
    QString folder = QDir::cleanPath(chosen.first());
    return folder;
}

}  // namespace velmorant
