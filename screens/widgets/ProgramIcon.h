#pragma once

#include <QIcon>
#include <QImage>
#include <QList>

namespace velmorant {

// The program's icon, drawn from the bitmap resource APP_ICON (32x32 pixel art whose key
// colour, the bottom-left pixel, is transparent). The window icon and the icons installed
// into the desktop's icon theme come from here, so they are the same picture.

// The sizes of the installed icon theme.
inline const QList<int>& ProgramIconSizes() {
    static const QList<int> sizes = {16, 32, 48, 64, 128};
    return sizes;
}

// The icon as a size x size ARGB32 picture: whole multiples of the bitmap are enlarged pixel
// by pixel so the art stays sharp; other sizes are enlarged to the next multiple and then
// scaled down smoothly. Null when the resource is missing or size is not positive.
QImage ProgramIconImage(int size);

// Every size of ProgramIconSizes() in one icon (for the application's windows).
QIcon ProgramIcon();

}  // namespace velmorant
