#pragma once

#include <ctime>
#include <string>

class CVantrelDoc;

// One host's change of state, as the worker saw it.
struct CHostAlert {
    std::string m_strServer; // the server of the test URL
    std::string m_strName;
    std::string m_strURL;
    time_t m_tWhen = 0;       // the test that found the change
    time_t m_tDownSince = 0;  // up again: the test that found it down
    time_t m_tCertExpiry = 0; // a certificate notice: when the server's certificate expires
};

// What the worker calls when a host that was up is found down, when a host found down
// answers again, and when a tested server's certificate is about to expire. It runs on the worker
// thread with no host lock held and returns at once: boxes and e-mails never hold up the tests.
class CAlertRaiser {
public:
    virtual ~CAlertRaiser() = default;
    virtual void RaiseHostDownAlert(CVantrelDoc& doc, const CHostAlert& alert) = 0;
    virtual void RaiseHostUpAlert(CVantrelDoc& doc, const CHostAlert& alert) = 0;
    // The https server's certificate expires soon (alert.m_tCertExpiry).
    virtual void RaiseCertificateNotice(CVantrelDoc& doc, const CHostAlert& alert) = 0;
};
