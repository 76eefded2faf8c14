#include "report/weighting_dialog.h"

#include "widgets/artwork.h"
#include "widgets/masked_picture.h"
#include "widgets/styled_label.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cstdio>

const char* const CWeightingDialog::EXPLANATION =
    "Every person has different views on what is important when they are searching for "
    "hosting. For example, some may need lots of space, but it doesn't matter about bandwidth. "
    "This makes the comparison more customized to your needs. You can weight these "
    "characteristics between 1 - 10 with 10 as the most important. If you don't know what these "
    "mean just assign them all the value of 10.";

namespace {

struct SRow {
    const char* pszCaption;
    const char* pszHint;
};

// In attribute order.
constexpr SRow s_arrRows[ATTRIBUTE_COUNT] = {
    {"Storage Space", "(Space on the server)"},
    {"Bandwidth", "(Transfer amount)"},
    {"12-month cost", "(Total costs including setup)"},
    {"E-mail features", "(E-mail addresses etc.)"},
    {"Support", "(Getting looked after if you have problems)"},
    {"Redundancy Features", "(Backups etc.)"},
    {"General Hosting Features", "(Extra hosting features)"},
    {"Connection Speed", "(How fast the server connects)"},
    {"Uptime", "(The amount of time the server is available)"},
};

constexpr int MAX_WEIGHT = 10;
// 322 x 266 dialog units of an 8-point font.
constexpr int DIALOG_WIDTH = 483;
constexpr int DIALOG_HEIGHT = 432;

CStyledLabel* Heading(const char* pszText, int nHeight) {
    auto* pLabel = new CStyledLabel(QString::fromLatin1(pszText), nullptr);
    pLabel->SetFace(QStringLiteral("Verdana")).SetCharHeight(nHeight);
    return pLabel;
}

} // namespace

CWeightingDialog::CWeightingDialog(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Vantrel"));
    auto* pOuter = new QVBoxLayout(this);

    auto* pHeader = new QGridLayout;
    pHeader->addWidget(Heading("Generate Host Comparison", 20), 0, 0);
    pHeader->addWidget(Heading("Weighting of host attributes", 18), 1, 0);
    auto* pLogo = new CMaskedPicture;
    const QImage logo = CArtwork::Logo();
    pLogo->SetBitmap(logo);
    pLogo->setFixedSize(logo.size());
    pHeader->addWidget(pLogo, 0, 1, 2, 1, Qt::AlignTop | Qt::AlignRight);
    pHeader->setColumnStretch(0, 1);
    pOuter->addLayout(pHeader);

    m_pExplanation = new CStyledLabel;
    m_pExplanation->setWordWrap(true);
    m_pExplanation->SetLabelText(QString::fromLatin1(EXPLANATION));
    pOuter->addWidget(m_pExplanation);

    auto* pGrid = new QGridLayout;
    for (int a = 0; a < ATTRIBUTE_COUNT; ++a) {
        auto* pList = new QComboBox;
        for (int n = 1; n <= MAX_WEIGHT; ++n)
            pList->addItem(QString::number(n));
        pList->setCurrentIndex(MAX_WEIGHT - 1);
        pList->setObjectName(QString::fromLatin1(s_arrRows[a].pszCaption));
        m_arrLists[a] = pList;
        pGrid->addWidget(new QLabel(QString::fromLatin1(s_arrRows[a].pszCaption)), a, 0);
        pGrid->addWidget(pList, a, 1);
        pGrid->addWidget(new QLabel(QString::fromLatin1(s_arrRows[a].pszHint)), a, 2);
    }
    pGrid->setColumnStretch(2, 1);
    pOuter->addLayout(pGrid);
    m_pChart = new QCheckBox(QStringLiteral("Include comparison chart"));
    pOuter->addWidget(m_pChart);
    m_pHistory = new QCheckBox(QStringLiteral("Include measured history"));
    pOuter->addWidget(m_pHistory);
    pOuter->addStretch(1);

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pOuter->addWidget(pButtons);
    resize(DIALOG_WIDTH, DIALOG_HEIGHT);
}

CReportWeights CWeightingDialog::GetWeights() const {
    CReportWeights arrWeights{};
    for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
        std::sscanf(m_arrWeights[a].c_str(), "%d", &arrWeights[a]);
    return arrWeights;
}

void CWeightingDialog::SetWeights(const CReportWeights& arrWeights) {
    for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
        if (arrWeights[a] >= 1 && arrWeights[a] <= MAX_WEIGHT)
            m_arrLists[a]->setCurrentIndex(arrWeights[a] - 1);
}

void CWeightingDialog::accept() {
    for (int a = 0; a < ATTRIBUTE_COUNT; ++a)
        m_arrWeights[a] = m_arrLists[a]->currentText().toLatin1().toStdString();
    m_bIncludeChart = m_pChart->isChecked();
    m_bIncludeHistory = m_pHistory->isChecked();
    QDialog::accept();
}
