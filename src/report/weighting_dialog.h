#pragma once

#include "report/report_scorer.h"

#include <QDialog>

#include <array>
#include <string>

class QCheckBox;
class QComboBox;
class CStyledLabel;

// Asks how much each of the nine compared attributes counts, from 1 to 10. It opens with all
// weights at 10, or with the weights the caller gives (the last report's).
class CWeightingDialog : public QDialog {
    Q_OBJECT
public:
    explicit CWeightingDialog(QWidget* pParent);

    // The weights as the report reads them: each weight text converted with "%d".
    CReportWeights GetWeights() const;

    // Selects these weights; a weight outside 1 to 10 leaves its list as it is.
    void SetWeights(const CReportWeights& arrWeights);

    void accept() override;

    // The selected texts, in attribute order; filled by OK, empty otherwise.
    std::array<std::string, ATTRIBUTE_COUNT> m_arrWeights;
    std::array<QComboBox*, ATTRIBUTE_COUNT> m_arrLists{};
    // "Include comparison chart", unticked at every opening; read by OK.
    QCheckBox* m_pChart;
    bool m_bIncludeChart = false;
    // "Include measured history", set by the caller as the last report had it; read by OK.
    QCheckBox* m_pHistory;
    bool m_bIncludeHistory = false;

    static const char* const EXPLANATION;

private:
    CStyledLabel* m_pExplanation;
};
