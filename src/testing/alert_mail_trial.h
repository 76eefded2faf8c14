#pragma once

#include "core/app_settings.h"

#include <ctime>
#include <functional>
#include <string>

class CEvent;
class CSMTPMessage;

// Sends the host-down e-mail for a made-up host with mail settings as given (saved, or only
// typed into the options), exactly as an alert would, and tells line by line what was said.
// Shared by the options' "Send test e-mail" button and `vantrelctl alert-test`. It changes no
// setting: a failure here never switches e-mail alerts off.
class CAlertMailTrial {
public:
    using LineSink = std::function<void(const std::string& strLine)>;
    enum class EOutcome {
        SENT,
        BAD_SETTINGS, // something missing, or a line break in a text: nothing was sent
        NOT_SENT,     // could not connect, or the server refused
    };

    CAlertMailTrial(const CAppSettings& settings, std::string strHostName);

    // Every line of the exchange goes to sink as it happens: "C: " commands (login data
    // hidden), "S: " replies, "-- " what the client noticed.
    // evStop ends the run after the attempt in progress.
    EOutcome Run(const LineSink& sink, const CEvent& evStop);
    // The outcome in plain words.
    const std::string& GetOutcomeText() const { return m_strOutcome; }
    // The alert e-mail for strHostName with a subject and a first paragraph that say it is a
    // test, so that nobody takes it for a real alert.
    static void ComposeTestMessage(CSMTPMessage& message, const std::string& strHostName,
                                   const std::string& strFrom, const std::string& strTo,
                                   time_t tNow);
    // The login method of the last attempt, in words.
    static const char* DescribeLogin(int nLoginMethod);

private:
    CAppSettings m_settings;
    std::string m_strHostName;
    std::string m_strOutcome;
};
