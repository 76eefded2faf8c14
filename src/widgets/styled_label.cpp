#include "widgets/styled_label.h"

#include <QApplication>

CStyledLabel::CStyledLabel(QWidget* pParent) : CStyledLabel(QString(), pParent) {}

CStyledLabel::CStyledLabel(const QString& strText, QWidget* pParent) : QLabel(strText, pParent) {
    setTextFormat(Qt::PlainText);
    setFont(QApplication::font());
    // No background of its own: under a palette whose buttons differ from its windows (a dark
    // scheme) a filled heading would sit in a box. The colours follow the palette.
}

CStyledLabel& CStyledLabel::SetLabelText(const QString& strText) {
    setText(strText);
    return *this;
}

CStyledLabel& CStyledLabel::SetFace(const QString& strFace) {
    QFont f = font();
    f.setFamily(strFace);
    ApplyFont(f);
    return *this;
}

CStyledLabel& CStyledLabel::SetCharHeight(int nHeight) {
    QFont f = font();
    f.setPixelSize(nHeight);
    ApplyFont(f);
    return *this;
}

void CStyledLabel::ApplyFont(const QFont& font) {
    setFont(font);
    repaint();
}
