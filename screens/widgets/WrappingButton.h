#pragma once

#include <QPushButton>

namespace velmorant {

// A flat button whose text breaks onto as many lines as its width needs: a long text neither
// widens the window that holds it nor is cut off at its edge. Left-aligned, as a line of text
// that can be tapped.
class WrappingButton : public QPushButton {
public:
    explicit WrappingButton(QWidget* parent = nullptr);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textArea(const QRect& outer) const;
};

}  // namespace velmorant
