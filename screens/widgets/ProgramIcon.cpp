#include "screens/widgets/ProgramIcon.h"

#include <QPixmap>

#include "screens/widgets/ImageList.h"

namespace velmorant {

QImage ProgramIconImage(int size) {
    if (size <= 0) return QImage();
    const ImageList art = ImageList::fromBitmap(QStringLiteral("APP_ICON"), 32, 32);
    if (art.isEmpty()) return QImage();
    const QImage native = art.image(0).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int factor = (size + native.width() - 1) / native.width();
    QImage picture =
        native.scaled(native.size() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (picture.width() != size) {
        picture = picture.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return picture.convertToFormat(QImage::Format_ARGB32);
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : ProgramIconSizes()) {
        const QImage image = ProgramIconImage(size);
        if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

}  // namespace velmorant
