#include "testing/alert_mail_queue.h"

#include "core/message_sink.h"
#include "mail/smtp_connection.h"
#include "mail/smtp_message.h"
#include "testing/mail_sender.h"

#include <algorithm>
#include <condition_variable>
#include <list>
#include <mutex>

using Clock = std::chrono::steady_clock;

struct CAlertMailQueue::SShared {
    struct SJob {
        CHostDownAlert::SServer server;
        ComposeFn fnCompose;
        std::string strKind;
        size_t nAttempts = 0;
        Clock::time_point tDue;
    };

    SenderFactory fnMakeSender;
    mutable std::mutex mtx;
    mutable std::condition_variable cv;
    std::list<SJob> jobs;
    std::vector<std::chrono::milliseconds> arrDelays = DefaultRetryDelays();
    CMessageSink* pSink; // null once abandoned
    bool bStop = false;
    bool bFailing = false; // the user has been told of this streak
    int nInAttempt = 0;    // an untried e-mail being sent
    bool bSending = false; // any attempt under way
    int nAttempts = 0;
    CEvent evStop; // cuts the login methods short
    CEvent evEnded;
};

CAlertMailQueue::CAlertMailQueue(SenderFactory fnMakeSender, CMessageSink& sink)
    : m_pShared(std::make_shared<SShared>()) {
    m_pShared->fnMakeSender = std::move(fnMakeSender);
    m_pShared->pSink = &sink;
    m_thread = std::thread(&CAlertMailQueue::Serve, m_pShared);
}

CAlertMailQueue::~CAlertMailQueue() {
    Abandon(1000);
}

const std::vector<std::chrono::milliseconds>& CAlertMailQueue::DefaultRetryDelays() {
    using namespace std::chrono_literals;
    static const std::vector<std::chrono::milliseconds> arrDelays{1min, 4min, 10min};
    return arrDelays;
}

void CAlertMailQueue::SetRetryDelays(std::vector<std::chrono::milliseconds> arrDelays) {
    std::lock_guard lock(m_pShared->mtx);
    m_pShared->arrDelays = std::move(arrDelays);
}

void CAlertMailQueue::Post(const CHostDownAlert::SServer& server, ComposeFn fnCompose,
                           const std::string& strKind) {
    {
        std::lock_guard lock(m_pShared->mtx);
        if (m_pShared->bStop)
            return;
        m_pShared->jobs.push_back({server, std::move(fnCompose), strKind, 0, Clock::now()});
    }
    m_pShared->cv.notify_all();
}

bool CAlertMailQueue::WaitUntilTried(int64_t nMilliseconds) const {
    std::unique_lock lock(m_pShared->mtx);
    return m_pShared->cv.wait_for(lock, std::chrono::milliseconds(nMilliseconds), [&] {
        return m_pShared->nInAttempt == 0 &&
               std::ranges::none_of(m_pShared->jobs,
                                    [](const SShared::SJob& job) { return job.nAttempts == 0; });
    });
}

bool CAlertMailQueue::WaitUntilIdle(int64_t nMilliseconds) const {
    std::unique_lock lock(m_pShared->mtx);
    return m_pShared->cv.wait_for(lock, std::chrono::milliseconds(nMilliseconds),
                                  [&] { return !m_pShared->bSending && m_pShared->jobs.empty(); });
}

int CAlertMailQueue::GetAttemptCount() const {
    std::lock_guard lock(m_pShared->mtx);
    return m_pShared->nAttempts;
}

void CAlertMailQueue::Abandon(int64_t nMilliseconds) {
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_pShared->mtx);
        m_pShared->bStop = true;
        m_pShared->pSink = nullptr;
        m_pShared->jobs.clear();
    }
    m_pShared->evStop.Set();
    m_pShared->cv.notify_all();
    if (m_pShared->evEnded.Wait(nMilliseconds))
        m_thread.join();
    else
        m_thread.detach(); // it holds its own share of the state
}

std::string CAlertMailQueue::FailureText(CHostDownAlert::EDelivery eResult, uint32_t dwLastError,
                                         const std::string& strReason, const std::string& strKind) {
    std::string strText = eResult == CHostDownAlert::EDelivery::CONNECT_FAILED
                              ? "Vantrel couldn't connect to SMTP server, last error:" +
                                    std::to_string(static_cast<int>(dwLastError)) + " (" +
                                    CSMTPConnection::DescribeError(dwLastError) + ")\n"
                              : "Vantrel could not send the " + strKind + " e-mail:\n";
    if (!strReason.empty())
        strText += strReason + ".\n";
    return strText + "Vantrel will try again three times over the next 15 minutes; e-mail "
                     "alerts stay on.";
}

void CAlertMailQueue::Serve(std::shared_ptr<SShared> pShared) {
    SShared& shared = *pShared;
    std::unique_ptr<CMailSender> pSender = shared.fnMakeSender();
    std::unique_lock lock(shared.mtx);
    while (!shared.bStop) {
        auto itDue = std::ranges::min_element(shared.jobs, {},
                                              [](const SShared::SJob& job) { return job.tDue; });
        if (itDue == shared.jobs.end()) {
            shared.cv.wait(lock);
            continue;
        }
        if (itDue->tDue > Clock::now()) {
            shared.cv.wait_until(lock, itDue->tDue);
            continue;
        }
        SShared::SJob job = std::move(*itDue);
        shared.jobs.erase(itDue);
        const bool bFirst = job.nAttempts == 0;
        shared.nInAttempt += bFirst;
        shared.bSending = true;
        ++shared.nAttempts;
        lock.unlock();

        CSMTPMessage message;
        job.fnCompose(message);
        uint32_t dwLastError = 0;
        const CHostDownAlert::EDelivery eResult =
            CHostDownAlert::Deliver(*pSender, message, job.server, shared.evStop, dwLastError);
        // The server's own words say more than any number.
        const std::string strReason = pSender->GetFailureReason();
        const std::string strRefused =
            eResult == CHostDownAlert::EDelivery::SENT ? pSender->GetRefusedRecipients() : "";

        lock.lock();
        shared.nInAttempt -= bFirst;
        shared.bSending = false;
        ++job.nAttempts;
        if (eResult == CHostDownAlert::EDelivery::SENT) {
            shared.bFailing = false;
            if (!strRefused.empty() && shared.pSink)
                shared.pSink->ShowMessage("The " + job.strKind +
                                          " e-mail was sent, but the SMTP server refused these "
                                          "recipients:\n" +
                                          strRefused);
        } else if (eResult != CHostDownAlert::EDelivery::STOPPED && !shared.bStop) {
            if (!shared.bFailing && shared.pSink)
                shared.pSink->ShowMessage(
                    FailureText(eResult, dwLastError, strReason, job.strKind));
            shared.bFailing = true;
            if (job.nAttempts <= shared.arrDelays.size()) {
                job.tDue = Clock::now() + shared.arrDelays[job.nAttempts - 1];
                shared.jobs.push_back(std::move(job));
            }
        }
        shared.cv.notify_all();
    }
    lock.unlock();
    pSender.reset();
    shared.evEnded.Set();
}
