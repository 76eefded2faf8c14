#pragma once

#include "core/test_control.h"
#include "core/vantrel_doc.h"
#include "testing/waiter.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// A test control whose worker runs a given body and then waits for the stop event. Stopping
// waits for the worker the way the program does (100 ms, then the dialog and 3000 ms steps).
class CFakeTestControl : public CTestControl {
public:
    explicit CFakeTestControl(CWaitObserver* pObserver = nullptr) : m_pObserver(pObserver) {}
    ~CFakeTestControl() override {
        if (m_worker.joinable())
            m_worker.join();
    }

    void StartTests(CVantrelDoc& doc) override {
        m_arrCalls.push_back("start");
        if (!m_workerBody)
            return;
        m_bEnded = false;
        m_worker = std::thread([this, &doc] {
            m_workerBody(doc);
            doc.m_hStopEvent.Wait(60000);
            m_bEnded = true;
        });
    }

    void StopTests(CVantrelDoc& doc) override {
        m_arrCalls.push_back("stop");
        if (!m_worker.joinable())
            return;
        doc.m_hStopEvent.Set();
        CWaiter(m_pObserver).WaitUntil([this](std::chrono::milliseconds ms) {
            const auto deadline = std::chrono::steady_clock::now() + ms;
            while (!m_bEnded && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return m_bEnded.load();
        });
        m_worker.join();
        doc.m_hStopEvent.Reset();
    }

    bool IsConnected() override { return m_bConnected; }

    std::function<void(CVantrelDoc&)> m_workerBody;
    std::vector<std::string> m_arrCalls;
    bool m_bConnected = true;

private:
    CWaitObserver* m_pObserver;
    std::thread m_worker;
    std::atomic<bool> m_bEnded{true};
};
