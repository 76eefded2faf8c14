#include "testing/test_engine.h"

#include "core/vantrel_doc.h"
#include "testing/probes.h"
#include "testing/test_worker.h"
#include "testing/waiter.h"

CTestEngine::CTestEngine(const CEngineSeams& seams, CWaitObserver* pObserver)
    : m_seams(seams), m_pObserver(pObserver) {}

CTestEngine::~CTestEngine() {
    if (m_worker.joinable()) {
        m_pDoc->m_hStopEvent.Set();
        m_worker.join();
    }
}

void CTestEngine::StartTests(CVantrelDoc& doc) {
    if (m_worker.joinable()) {
        if (!m_evEnded.IsSet())
            return;      // a worker already runs over the store
        m_worker.join(); // it ended on its own
    }
    m_pDoc = &doc;
    m_evEnded.Reset();
    // A new worker begins with a cycle: an earlier wake has nothing left to do.
    doc.m_hWakeEvent.Reset();
    doc.m_bHostsStarted = false;
    m_worker = std::thread([this, &doc] {
        TestWorker(doc, m_seams);
        m_evEnded.Set();
    });
}

void CTestEngine::StopTests(CVantrelDoc& doc) {
    doc.m_hStopEvent.Set();
    if (m_worker.joinable()) {
        CWaiter(m_pObserver).WaitUntil([this](std::chrono::milliseconds ms) {
            return m_evEnded.Wait(ms.count());
        });
        m_worker.join();
    }
    doc.m_hStopEvent.Reset();
}

bool CTestEngine::IsConnected() {
    return m_seams.pProbes->IsConnected();
}
