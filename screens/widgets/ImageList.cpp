#include "screens/widgets/ImageList.h"

// The resources are compiled into a static library: referencing the initializer here keeps
// the linker from dropping them.
static void initBitmapResources() { Q_INIT_RESOURCE(bitmaps); }

namespace velmorant {

namespace {
void ensureResources() {
    static const bool done = [] {
        initBitmapResources();
        return true;
    }();
    (void)done;
}
}  // namespace

QString ImageList::resourcePath(const QString& name) {
    return QStringLiteral(":/bitmaps/%1.bmp").arg(name);
}

QImage ImageList::bitmap(const QString& name) {
    ensureResources();
    return QImage(resourcePath(name));
}

ImageList ImageList::fromBitmap(const QString& name, int width, int height,
                                const QColor& transparent) {
    ImageList list;
    const QImage source = bitmap(name);
    if (source.isNull() || width <= 0 || height <= 0) return list;
    const QRgb key = transparent.isValid() ? transparent.rgb()
                                           : source.pixel(0, source.height() - 1) | 0xff000000u;
    for (int x = 0; x + width <= source.width(); x += width) {
        QImage picture = source.copy(x, 0, width, height).convertToFormat(QImage::Format_ARGB32);
        for (int py = 0; py < picture.height(); ++py) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(py));
            for (int px = 0; px < picture.width(); ++px) {
                if ((line[px] | 0xff000000u) == key) line[px] = qRgba(0, 0, 0, 0);
            }
        }
        list.m_images.append(picture);
    }
    return list;
}

QImage ImageList::image(int i) const {
    if (i < 0 || i >= count()) return QImage();
    return m_images.at(i);
}

QPixmap ImageList::pixmap(int i) const {
    if (i < 0 || i >= count()) return QPixmap();
    return QPixmap::fromImage(m_images.at(i));
}

QIcon ImageList::icon(int i) const {
    if (i < 0 || i >= count()) return QIcon();
    return QIcon(pixmap(i));
}

}  // namespace velmorant
