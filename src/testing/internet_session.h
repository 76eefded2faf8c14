#pragma once

#include "platform/http_client.h"

#include <cstdint>
#include <string>

class CEvent;

// The HTTP client handle of one worker run: opened when the run starts, closed when it ends.
class CInternetSession {
public:
    virtual ~CInternetSession() = default;
    // One GET of strObject from nPort of strServer at the address strAddress (no second
    // look-up), over verified TLS when bHttps, with the URL's credentials only when the server
    // asks for them. True when the request was sent and a response came back, whatever its
    // status; false also when evStop was set meanwhile.
    virtual bool SendRequest(bool bHttps, const std::string& strServer,
                             const std::string& strAddress, uint16_t nPort,
                             const std::string& strObject, const std::string& strUser,
                             const std::string& strPassword, const CEvent& evStop) = 0;
    // What the last request found: status, timings, certificate, or why no response came.
    virtual CHttpExchange GetLastExchange() const = 0;
};
