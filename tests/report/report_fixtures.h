#pragma once

#include "core/host.h"
#include "core/product.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

// A host list for report tests: owns the records and hands out the pointer array the report
// code reads, as the host store does.
class CReportHosts {
public:
    CHost& Add() {
        m_arrOwned.push_back(std::make_unique<CHost>());
        m_arrHosts.push_back(m_arrOwned.back().get());
        return *m_arrOwned.back();
    }
    CHost& operator[](size_t i) { return *m_arrHosts[i]; }
    const std::vector<CHost*>& Hosts() const { return m_arrHosts; }
    std::vector<int> All() const {
        std::vector<int> arr(m_arrHosts.size());
        std::iota(arr.begin(), arr.end(), 0);
        return arr;
    }

private:
    std::vector<std::unique_ptr<CHost>> m_arrOwned;
    std::vector<CHost*> m_arrHosts;
};

// Sets every answer to a neutral value (all "No", lowest positions), so that tests change only
// what they compare.
inline void AnswerNeutrally(CHost& host) {
    for (int i = 0; i < CHost::ANSWER_COUNT; ++i)
        host.Answer(i) = 0;
    for (int32_t* p : {&host.m_nForwarding, &host.m_nAutoresponders, &host.m_nWebMail,
                       &host.m_nMailingLists, &host.m_nUPS, &host.m_nGenerator, &host.m_nMonitoring,
                       &host.m_nBackupMail, &host.m_nFailOver, &host.m_nUptimeGuarantee})
        *p = 1;
    host.m_nBackups = 3;
}

// Gives the host a ping history of the given values.
inline void SetPings(CHost& host, std::vector<uint32_t> arrPings) {
    host.m_nPingTotal = static_cast<int32_t>(std::accumulate(arrPings.begin(), arrPings.end(), 0u));
    *host.m_pPingHistory = std::move(arrPings);
}

inline void SetTests(CHost& host, int32_t nTests, int32_t nTestsUp) {
    host.m_nTests = nTests;
    host.m_nTestsUp = nTestsUp;
}

// Three marked hosts (list indices 0, 2, 3) and one unmarked, with a name and a web site that
// need escaping, a Latin-1 letter, and a host whose every answer is unanswered.
inline void MakeThreeHosts(CReportHosts& hosts) {
    CHost& smith = hosts.Add();
    smith.m_strName = "Smith & Sons <Hosting>";
    smith.m_strWebSite = "http://smith.example/?a=1&b=\"2\"";
    AnswerNeutrally(smith);
    smith.m_nStorage = 21;
    smith.m_nTransfer = 0;
    smith.m_nCost = 0;
    smith.m_nEmailAccounts = 20;
    smith.m_nForwarding = smith.m_nAutoresponders = 0;
    smith.m_nSupportRating = 9;
    smith.m_nBackups = 1;
    smith.m_nUPS = smith.m_nMonitoring = smith.m_nBackupMail = 0;
    smith.m_nFeatureRating = 6;
    SetPings(smith, {20, 21, 22});
    SetTests(smith, 3, 2);

    CHost& unmarked = hosts.Add();
    unmarked.m_strName = "Unmarked";
    AnswerNeutrally(unmarked);

    CHost& blank = hosts.Add();
    blank.m_strName = "Caf\xe9 Plain";
    blank.m_strWebSite = "http://plain.example/";
    blank.m_nTransfer = 50;
    blank.m_nCost = 51;

    CHost& beta = hosts.Add();
    beta.m_strName = "Beta Web";
    beta.m_strWebSite = "http://beta.example/";
    AnswerNeutrally(beta);
    beta.m_nStorage = 10;
    beta.m_nTransfer = 42;
    beta.m_nCost = 24;
    beta.m_nEmailAccounts = 4;
    beta.m_nForwarding = beta.m_nAutoresponders = beta.m_nWebMail = beta.m_nMailingLists = 0;
    beta.m_nSupportRating = 9;
    beta.m_nBackups = 0;
    beta.m_nUPS = beta.m_nGenerator = beta.m_nMonitoring = beta.m_nUptimeGuarantee = 0;
    beta.m_nFeatureRating = 6;
    SetPings(beta, {100, 100, 100, 100, 100, 100, 100, 100, 100, 105});
    SetTests(beta, 10, 10);
}

inline std::string ReadFile(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The address in the expected files stands for the product's home page.
inline std::string ExpectedReport(const std::string& strName) {
    std::string str = ReadFile(std::string(VANTREL_REPORT_TEST_DATA) + "/data/" + strName);
    const std::string strPlaceholder = "https://www.vantrel.example/";
    const size_t nAt = str.find(strPlaceholder);
    if (nAt != std::string::npos)
        str.replace(nAt, strPlaceholder.size(), VANTREL_HOME_PAGE);
    return str;
}

// A fresh folder, removed with its contents.
class CTempDir {
public:
    CTempDir() {
        char szTemplate[] = "/tmp/vantrel_report_XXXXXX";
        m_strPath = ::mkdtemp(szTemplate);
    }
    ~CTempDir() { std::filesystem::remove_all(m_strPath); }
    std::vector<std::string> Names() const {
        std::vector<std::string> arr;
        for (const auto& entry : std::filesystem::directory_iterator(m_strPath))
            arr.push_back(entry.path().filename().string());
        std::sort(arr.begin(), arr.end());
        return arr;
    }
    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};
