#include "testing/test_commands.h"

#include "core/message_sink.h"
#include "core/test_control.h"
#include "core/vantrel_doc.h"
#include "testing/test_worker.h"
#include "testing/waiter.h"

namespace {

template <typename Change>
void ChangeHosts(CVantrelDoc& doc, const std::vector<int>& arrChosen, CWaitObserver* pObserver,
                 const HostChangedFn& onChanged, Change change) {
    if (arrChosen.empty())
        return;
    doc.PauseTests();
    CWaiter waiter(pObserver);
    for (int nIndex : arrChosen) {
        if (nIndex < 0 || static_cast<size_t>(nIndex) >= doc.m_arrHosts.size())
            continue;
        CHost& host = *doc.m_arrHosts[static_cast<size_t>(nIndex)];
        waiter.Lock(*host.m_pMutex);
        std::lock_guard lock(*host.m_pMutex, std::adopt_lock);
        change(host);
        if (onChanged)
            onChanged(nIndex);
    }
    SaveHostsNow(doc, pObserver);
    doc.StartTests();
}

} // namespace

std::vector<int> GetChosenHosts(const std::vector<int>& arrMarked, int nSelected) {
    std::vector<int> arrChosen;
    for (size_t i = 0; i < arrMarked.size(); ++i)
        if (arrMarked[i])
            arrChosen.push_back(static_cast<int>(i));
    if (arrChosen.empty() && nSelected >= 0)
        arrChosen.push_back(nSelected);
    return arrChosen;
}

void StartTestsOnHosts(CVantrelDoc& doc, const std::vector<int>& arrChosen,
                       CWaitObserver* pObserver, const HostChangedFn& onChanged) {
    ChangeHosts(doc, arrChosen, pObserver, onChanged, [](CHost& host) {
        host.m_nState = HOST_UNKNOWN;
        host.m_bTesting = 1;
    });
    if (!arrChosen.empty() && doc.m_pTestControl && !doc.m_pTestControl->IsConnected())
        doc.m_sink.ShowMessage(NO_CONNECTION_TEXT);
}

void StopTestsOnHosts(CVantrelDoc& doc, const std::vector<int>& arrChosen, CWaitObserver* pObserver,
                      const HostChangedFn& onChanged) {
    ChangeHosts(doc, arrChosen, pObserver, onChanged, [](CHost& host) {
        host.m_bTesting = 0;
        host.m_bNewRun = 1;
    });
}

bool SaveHostsNow(CVantrelDoc& doc, CWaitObserver* pObserver) {
    CWaiter waiter(pObserver);
    return doc.SaveHosts([&waiter](std::recursive_timed_mutex& mtx) { waiter.Lock(mtx); });
}
