#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace velmorant {

// Pictures of one size cut from a bitmap resource, left to right, like a platform image list.
// The bitmaps live in the Qt resource system under ":/bitmaps/<name>.bmp": FMAIN_IL_STATES
// (five 16x12 document-state pictures), FSPRMULTISEL_IL1 (16x16 folder), BITBTN1_BITMAP
// (16x16 catalogue glyph), BITBTN4_BITMAP (16x16 search glyph) and APP_ICON (32x32).
class ImageList {
public:
    ImageList() = default;

    // Cuts the bitmap resource `name` into pictures of width x height. Pixels of the colour
    // `transparent` become transparent; an invalid colour takes the bitmap's bottom-left
    // pixel (the usual mask colour of a masked bitmap). A missing resource gives an empty
    // list; a partial picture at the right end is dropped.
    static ImageList fromBitmap(const QString& name, int width, int height,
                                const QColor& transparent = QColor());

    // The whole bitmap resource `name` as stored (no transparency); null when missing.
    static QImage bitmap(const QString& name);
    // The resource path of a bitmap name.
    static QString resourcePath(const QString& name);

    int count() const { return static_cast<int>(m_images.size()); }
    bool isEmpty() const { return m_images.isEmpty(); }
    // Picture i with its transparency; a null image/pixmap/icon when i is out of range.
    QImage image(int i) const;
    QPixmap pixmap(int i) const;
    QIcon icon(int i) const;

private:
    QList<QImage> m_images;
};

}  // namespace velmorant
