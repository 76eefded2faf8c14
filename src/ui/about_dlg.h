#pragma once

#include <QDialog>

// "About Vantrel": the program icon, "Vantrel v1.0", the maker line and OK.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent);
};
