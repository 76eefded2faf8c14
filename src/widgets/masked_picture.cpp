#include "widgets/masked_picture.h"

#include "widgets/artwork.h"

#include <QPainter>

CMaskedPicture::CMaskedPicture(QWidget* pParent) : QLabel(pParent) {}

void CMaskedPicture::SetBitmap(const QImage& image) {
    setPixmap(QPixmap::fromImage(image));
}

void CMaskedPicture::paintEvent(QPaintEvent* pEvent) {
    const QPixmap bitmap = pixmap();
    if (bitmap.isNull()) {
        QLabel::paintEvent(pEvent);
        return;
    }
    // The work image is magenta wherever the bitmap does not reach, so those parts are
    // transparent as well.
    QImage work(size(), QImage::Format_RGB32);
    work.fill(CArtwork::MAGENTA);
    {
        QPainter p(&work);
        p.drawPixmap(0, 0, bitmap);
    }
    QPainter painter(this);
    painter.drawImage(0, 0, CArtwork::MaskMagenta(work));
}
