#pragma once

#include "core/test_control.h"
#include "platform/event.h"
#include "testing/engine_seams.h"

#include <thread>

class CWaitObserver;

// Runs TestWorker over the store on its own thread. StopTests waits for it the way the
// user-interface thread waits: 100 ms, then the observer's dialog and steps of 3000 ms,
// serving the observer throughout so that the worker's message boxes are shown meanwhile.
class CTestEngine : public CTestControl {
public:
    // pObserver may be null (no dialog, nothing to serve: the command-line companion).
    CTestEngine(const CEngineSeams& seams, CWaitObserver* pObserver);
    // The owner stops the worker first; one still running is stopped here.
    ~CTestEngine() override;

    void StartTests(CVantrelDoc& doc) override;
    void StopTests(CVantrelDoc& doc) override;
    bool IsConnected() override;

    bool IsRunning() const { return m_worker.joinable(); }
    // True when the worker has ended (on its own or stopped) within nMilliseconds.
    bool WaitForEnd(int64_t nMilliseconds) const { return m_evEnded.Wait(nMilliseconds); }

private:
    CEngineSeams m_seams;
    CWaitObserver* m_pObserver;
    CVantrelDoc* m_pDoc = nullptr; // the store the worker runs over
    std::thread m_worker;
    CEvent m_evEnded; // set by the worker thread as its last act
};
