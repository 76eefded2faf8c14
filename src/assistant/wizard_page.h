#pragma once

#include "core/answer_tables.h"

#include <QWizardPage>

#include <cstdint>
#include <string>
#include <vector>

class CHost;
class CHostAssistant;
class QComboBox;
class QGridLayout;
class QLabel;
class QVBoxLayout;

// Common base of the assistant's pages: binds the page to the record being edited, carries the
// assistant's title (which also tells Add from Modify), picks the buttons of the page's place
// and holds the page's copy of the feature marks. Pages with drop-down answers register them
// here; checking and storing them is the same on every such page.
class CWizardPage : public QWizardPage {
    Q_OBJECT
public:
    // Places in the assistant; each selects the buttons enabled when the page becomes active.
    enum { PLACE_ONLY = 0, PLACE_FIRST = 1, PLACE_MIDDLE = 2, PLACE_LAST = 3 };
    static constexpr int STEP_COUNT = 7;

    CWizardPage(int nPosition, int nStep, const char* pszHeading);

    // Binds the page to pHost and the assistant title; once per page, before the assistant runs.
    void Init(CHost* pHost, const std::string& strTitle);

    // Page operations. Next: 0 = move on, -1 = stay. Finish: true = close the assistant.
    virtual bool OnInitDialog();
    virtual bool OnSetActive();
    virtual bool OnKillActive() { return true; }
    virtual int OnWizardNext();
    virtual bool OnWizardFinish();
    virtual bool OnQueryCancel();

    CHost* m_pHost = nullptr;
    std::vector<uint32_t> m_arrFeatureMarks;
    std::string m_strTitle;
    int32_t m_nPosition;

    static const char* const MODIFY_TITLE;
    static const char* const ADD_TITLE;
    static const char* const MISSING_DETAILS;
    // MISSING_DETAILS and, on a line of its own, the names of the fields left empty.
    static std::string MissingDetailsText(const std::vector<std::string>& arrNames);

protected:
    // Qt's wizard drives the page operations through these.
    void initializePage() override;
    bool validatePage() override;
    int nextId() const override;

    // Where a page puts its controls, below the header.
    QVBoxLayout* Body() const { return m_pBody; }
    // A drop-down list of eList for field pField of the record, named pszName, unanswered.
    QComboBox* AddAnswerList(const char* pszName, EAnswerList eList, int32_t CHost::*pField);
    // A caption, a drop-down list of eList for field pField of the record, and a hint.
    QComboBox* AddAnswerRow(QGridLayout* pGrid, const char* pszLabel, const char* pszHint,
                            EAnswerList eList, int32_t CHost::*pField);
    // A label in the default font that wraps.
    static QLabel* MakeText(const char* pszText);
    // A wrapping help text in the help font.
    static QLabel* MakeHelp(const char* pszText);

    void ShowMessage(const std::string& strText);
    bool AskQuestion(const std::string& strText);

    struct SAnswerRow {
        QComboBox* pList;
        int32_t CHost::*pField;
    };
    std::vector<SAnswerRow> m_arrAnswerRows;

private:
    CHostAssistant* Assistant() const;

    QLabel* m_pTitleLabel;
    QVBoxLayout* m_pBody;
};
