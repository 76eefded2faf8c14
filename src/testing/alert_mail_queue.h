#pragma once

#include "platform/event.h"
#include "testing/host_down_alert.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CMailSender;
class CMessageSink;
class CSMTPMessage;

// Alert e-mails on a thread of their own, so that a slow or dead mail server never holds up a
// test. A delivery that fails is tried again after each of the retry delays (1, 4 and 10
// minutes: four attempts over a quarter of an hour), then dropped. The user is told once per
// failing streak; a delivery ends the streak. E-mail alerts stay on throughout.
class CAlertMailQueue {
public:
    using SenderFactory = std::function<std::unique_ptr<CMailSender>()>;
    // Fills a new message; called for every attempt.
    using ComposeFn = std::function<void(CSMTPMessage&)>;

    // The thread makes its own sender with fnMakeSender and tells the user through sink.
    CAlertMailQueue(SenderFactory fnMakeSender, CMessageSink& sink);
    // Abandon(1000) unless Abandon ran.
    ~CAlertMailQueue();
    CAlertMailQueue(const CAlertMailQueue&) = delete;
    CAlertMailQueue& operator=(const CAlertMailQueue&) = delete;

    // strKind names the e-mail in what the user is told ("host-down").
    void Post(const CHostDownAlert::SServer& server, ComposeFn fnCompose,
              const std::string& strKind);

    // Tests shorten the waits between attempts.
    void SetRetryDelays(std::vector<std::chrono::milliseconds> arrDelays);
    static const std::vector<std::chrono::milliseconds>& DefaultRetryDelays();

    // True when every posted e-mail has been tried at least once within nMilliseconds.
    bool WaitUntilTried(int64_t nMilliseconds) const;
    // True when nothing is waiting or being sent within nMilliseconds.
    bool WaitUntilIdle(int64_t nMilliseconds) const;
    // Attempts made so far (all e-mails).
    int GetAttemptCount() const;

    // Drops what is waiting and gives the thread nMilliseconds to end; one still inside an
    // exchange with a mail server that does not answer is left to end with the process. It
    // tells nobody anything afterwards.
    void Abandon(int64_t nMilliseconds);

    // What the user is told of the first failed attempt of a streak.
    static std::string FailureText(CHostDownAlert::EDelivery eResult, uint32_t dwLastError,
                                   const std::string& strReason, const std::string& strKind);

private:
    struct SShared;
    static void Serve(std::shared_ptr<SShared> pShared);

    std::shared_ptr<SShared> m_pShared;
    std::thread m_thread;
};
