#pragma once

#include <string>

// The HTTP client handle of one worker run: opened when the run starts, closed when it ends.
class CInternetSession {
public:
    virtual ~CInternetSession() = default;
    // One GET of strObject from strServer over plain HTTP on port 80, with the URL's
    // credentials. True when the request was sent and a response came back, whatever its
    // status.
    virtual bool SendRequest(const std::string& strServer, const std::string& strObject,
                             const std::string& strUser, const std::string& strPassword) = 0;
};
