#pragma once

// For one test: records the echo code's diagnostic texts, then puts back the socket kind the
// process had and removes the trace hook.

#include "platform/ping.h"

#include <mutex>
#include <string>
#include <vector>

class CPingSettingsGuard {
public:
    CPingSettingsGuard() : m_nKind(_CPING_ICMP::Get().GetSocketKind()) {
        ClearTraces();
        CPing::SetTraceHook(Record);
    }
    ~CPingSettingsGuard() {
        _CPING_ICMP::Get().SetSocketKind(m_nKind);
        CPing::SetTraceHook(nullptr);
    }
    CPingSettingsGuard(const CPingSettingsGuard&) = delete;
    CPingSettingsGuard& operator=(const CPingSettingsGuard&) = delete;

    static std::vector<std::string> Traces() {
        std::lock_guard lock(Mutex());
        return List();
    }
    static void ClearTraces() {
        std::lock_guard lock(Mutex());
        List().clear();
    }

private:
    static void Record(const std::string& strText) {
        std::lock_guard lock(Mutex());
        List().push_back(strText);
    }
    static std::mutex& Mutex() {
        static std::mutex s_mtx;
        return s_mtx;
    }
    static std::vector<std::string>& List() {
        static std::vector<std::string> s_arrTraces;
        return s_arrTraces;
    }

    int m_nKind;
};
