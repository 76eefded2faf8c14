#pragma once

#include <QLabel>

// A dialog heading: a static text with its own face and character height, drawn in the
// window-text colour on the window's own background.
class CStyledLabel : public QLabel {
    Q_OBJECT
public:
    explicit CStyledLabel(QWidget* pParent = nullptr);
    CStyledLabel(const QString& strText, QWidget* pParent);

    CStyledLabel& SetLabelText(const QString& strText);
    CStyledLabel& SetFace(const QString& strFace);
    // A character height of nHeight pixels (the em height, without internal leading).
    CStyledLabel& SetCharHeight(int nHeight);

private:
    void ApplyFont(const QFont& font);
};
