#pragma once

#include <ctime>
#include <string>

// A host found down, up again after it was found down, or whose server's certificate expires
// soon: what the box says, and what a desktop notification needs.
struct CHostNotice {
    enum EKind { HOST_DOWN, HOST_UP, CERT_EXPIRING };
    EKind m_eKind = HOST_DOWN;
    std::string m_strName; // the host's name
    std::string m_strURL;  // its test URL
    std::string m_strText; // the box's text for this host alone
    std::string m_strItem; // how a box that gathers several hosts names this one
    time_t m_tWhen = 0;    // when the test found it
};

// Where the store and the test worker show their message boxes. The desktop program shows an
// OK-only, top-most box; a worker's message never waits for the user. The command-line
// companion prints the text. Texts are ISO-8859-1.
class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    virtual void ShowMessage(const std::string& strText) = 0;
    // Notices of one kind that arrive while a box of that kind is open are gathered into it.
    virtual void ShowHostNotice(const CHostNotice& notice) { ShowMessage(notice.m_strText); }
};
