#pragma once

#include <string>

class CVantrelDoc;

// What the worker calls when a host that was up is found down. It runs on the worker thread
// with no host lock held; the worker goes on with the next host when it returns.
class CAlertRaiser {
public:
    virtual ~CAlertRaiser() = default;
    virtual void RaiseHostDownAlert(CVantrelDoc& doc, const std::string& strServer) = 0;
};
