#include "ui/about_dlg.h"

#include "core/product.h"
#include "widgets/artwork.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("About Vantrel"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    auto* pIcon = new QLabel(this);
    pIcon->setPixmap(QPixmap::fromImage(CArtwork::ProgramIcon(32)));
    auto* pVersion = new QLabel(QStringLiteral("Vantrel v1.0"), this);
    pVersion->setObjectName(QStringLiteral("aboutVersion"));
    auto* pMaker = new QLabel(QStringLiteral(VANTREL_MAKER_LINE), this);
    pMaker->setObjectName(QStringLiteral("aboutMaker"));
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(pButtons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);

    auto* pLayout = new QGridLayout(this);
    pLayout->addWidget(pIcon, 0, 0, 2, 1, Qt::AlignTop);
    pLayout->addWidget(pVersion, 0, 1);
    pLayout->addWidget(pMaker, 1, 1);
    pLayout->addWidget(pButtons, 0, 2, 2, 1, Qt::AlignTop);
    pLayout->setHorizontalSpacing(16);
    setFixedSize(sizeHint());
}
