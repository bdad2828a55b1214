#pragma once

#include <QString>
#include <QWidget>

namespace velmorant {

// Shell folders by their platform identifiers (only the documents folder is used).
enum class SpecialFolder { Documents = 12 };

// The path of a shell folder, created when missing; empty text when there is none or it
// cannot be created. 12 (and SpecialFolder::Documents) is the user's documents folder.
QString SpecialFolderPath(int id);
inline QString SpecialFolderPath(SpecialFolder id) {
    return SpecialFolderPath(static_cast<int>(id));
}

// Lets the user pick a folder in a modal folder chooser with `title`, starting in
// `startFolder` (the documents folder when empty). Returns the chosen folder without a
// trailing "/", or empty text when cancelled. The chooser is a QFileDialog (the widget
// version, objectName "folderChooser"), so a test can answer it like any modal dialog. On a
// screen narrower than 480 pixels it drops its side bar and file-type row and puts its two
// buttons under the name, so that it fits a handheld's 240 pixels.
QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder = QString());

}  // namespace velmorant
