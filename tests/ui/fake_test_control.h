#pragma once

#include "core/test_control.h"

#include <string>
#include <vector>

// Records how the view starts and stops the worker, and answers the connection question.
class CFakeTestControl : public CTestControl {
public:
    void StartTests(CVantrelDoc&) override { m_arrCalls.push_back("start"); }
    void StopTests(CVantrelDoc&) override { m_arrCalls.push_back("stop"); }
    bool IsConnected() override { return m_bConnected; }

    std::vector<std::string> m_arrCalls;
    bool m_bConnected = true;
};
