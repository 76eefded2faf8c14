#pragma once

#include <QLabel>

// A static picture whose magenta pixels (red 255, green 0, blue 255) let the dialog's
// background show through; so does the part of the control that the bitmap does not cover.
// Without a bitmap it paints like a plain label. The bitmap is the label's pixmap.
class CMaskedPicture : public QLabel {
    Q_OBJECT
public:
    explicit CMaskedPicture(QWidget* pParent = nullptr);
    void SetBitmap(const QImage& image);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
};
