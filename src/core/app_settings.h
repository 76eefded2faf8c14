#pragma once

#include <string>

// How the worker measures a host's ping time ("PingMethod").
inline constexpr int PING_METHOD_ICMP = 0; // ICMP echo
inline constexpr int PING_METHOD_TCP = 1;  // TCP connect to the test URL's port

// How many hosts a cycle tests at the same time ("ConcurrentTests"), and its bounds.
inline constexpr int DEFAULT_CONCURRENT_TESTS = 64;
inline constexpr int MAX_CONCURRENT_TESTS = 256;

// How many days of the test history are kept ("HistoryDays"), and its bounds.
inline constexpr int DEFAULT_HISTORY_DAYS = 400;
inline constexpr int MAX_HISTORY_DAYS = 36500;
// How many days before a certificate expires the user is told ("CertWarningDays"); 0: never.
inline constexpr int DEFAULT_CERT_WARNING_DAYS = 14;
inline constexpr int MAX_CERT_WARNING_DAYS = 365;

// The per-user alert and mail settings, as the application keeps them between start-up and
// the store's initialisation, and again after the store has closed.
// The mail texts (addresses, login, password) are UTF-8.
struct CAppSettings {
    std::string m_strPass;
    std::string m_strLogin;
    std::string m_strSMTP;
    std::string m_strEmailFrom;
    std::string m_strEmailTo;
    int m_nSMTPPort = 25;
    int m_nSMTPSecurity = 0; // 0 none, 1 STARTTLS, 2 TLS from the first byte
    int m_bAlertEmail = 0;
    int m_bAlertSystem = 0;
    int m_bAlertBackUp = 1; // also tell when a host found down answers again
    int m_nPingMethod = PING_METHOD_ICMP;
    int m_nSMTPAuth = 0;           // the login method: 0 automatic, 1 PLAIN, 2 LOGIN, 3 CRAM-MD5
    int m_bAllowClearPassword = 0; // a login over an unencrypted connection to another machine
    std::string m_strHeloName;     // empty: the machine's own name
    int m_nConcurrentTests = DEFAULT_CONCURRENT_TESTS;
    int m_nHistoryDays = DEFAULT_HISTORY_DAYS;
    int m_bServerErrorsDown = 1; // an HTTP 5xx answer counts as down ("ServerErrorsDown")
    int m_nCertWarningDays = DEFAULT_CERT_WARNING_DAYS;
};
