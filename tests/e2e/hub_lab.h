#pragma once

// Namespace c joined to hN (N = 1, 2, ...) at 10.77.N.2; failures to set up throw.
#include "core/message_sink.h"
#include "core/test_files.h"
#include "core/vantrel_doc.h"
#include "platform/loopback_http_server.h"
#include "platform/netns_lab.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

using EMode = CLoopbackHttpServer::EMode;
const char OK_REPLY[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

struct CNoSink : CMessageSink {
    void ShowMessage(const std::string&) override {}
};

inline bool WaitFor(const std::function<bool()>& fnDone, std::chrono::milliseconds limit) {
    for (const auto tEnd = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < tEnd;
         std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (fnDone())
            return true;
    return fnDone();
}

// In strDir: ca.pem, srv.pem/.key for strIp signed by it, self.pem/.key for 10.77.3.2.
inline bool MakeCertificates(const std::string& strDir, const std::string& strIp, int nDays = 2) {
    return CNetnsLab::Run(
        "cd " + strDir + " && N=" + strIp + " D=" + std::to_string(nDays) +
        " K='-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes' && echo subjectAltName=IP:$N "
        ">san.ext && openssl req -x509 $K -keyout ca.key -out ca.pem -days 2 -subj /CN=CA && "
        "openssl req $K -keyout srv.key -out srv.csr -subj /CN=$N && openssl x509 -req -in srv.csr "
        "-CA ca.pem -CAkey ca.key -CAcreateserial -out srv.pem -extfile san.ext -days $D && "
        "openssl "
        "req -x509 $K -keyout self.key -out self.pem -days 2 -subj /CN=10.77.3.2 -addext "
        "subjectAltName=IP:10.77.3.2 2>/dev/null");
}

class CHubLab {
public:
    explicit CHubLab(const std::string& strTag) : m_lab(strTag) {}
    ~CHubLab() { // web servers and any program left by a failure
        if (m_strC.empty())
            return;
        std::filesystem::remove_all(Etc());
        for (int n = 0; n <= m_nHosts; ++n)
            m_lab.Run("ip netns pids " + (n ? Ns(n) : m_strC) + " | xargs -r kill");
    }
    // Root needed (CNetnsLab::WhyUnavailable); c's default route points into hDefault.
    void Open(int nHosts, int nDefault) {
        m_strC = m_lab.Add("c");
        for (m_nHosts = nHosts; nHosts > 0; --nHosts) {
            const std::string n = std::to_string(nHosts);
            Require(m_lab.Link(m_strC, "vc" + n, "10.77." + n + ".1/24", m_lab.Add("h" + n),
                               "vh" + n, "10.77." + n + ".2/24"),
                    "cannot link the namespaces");
        }
        Require(m_lab.Ip(m_strC, "route add default via 10.77." + std::to_string(nDefault) + ".2"),
                "no default route");
    }
    std::string Ns(int n) { return m_strC.substr(0, m_strC.size() - 1) + "h" + std::to_string(n); }
    // "ip netns exec" puts /etc/netns/c/* over c's /etc.
    std::filesystem::path Etc() const { return "/etc/netns/" + m_strC; }
    CLoopbackHttpServer& StartWeb(int nHost, EMode mode, const std::string& strReply = OK_REPLY,
                                  uint16_t nPort = 80) {
        return *m_arrWeb.emplace_back(m_lab.InNamespace(Ns(nHost), [&] {
            return std::make_unique<CLoopbackHttpServer>(mode, strReply, "0.0.0.0", nPort);
        }));
    }
    // A new data file of hosts tested every minute, named by their index unless names are given.
    void WriteData(const std::vector<std::string>& arrURLs,
                   const std::vector<std::string>& arrNames = {}) {
        CNoSink sink;
        std::filesystem::remove(m_strData);
        CVantrelDoc doc(sink, nullptr);
        Require(doc.OnNewDocument(m_strData, CAppSettings()), "cannot create the data file");
        for (const std::string& strURL : arrURLs) {
            auto* pHost = new CHost;
            const size_t n = doc.m_arrHosts.size();
            pHost->m_strName = n < arrNames.size() ? arrNames[n] : std::to_string(n);
            pHost->m_strTestURL = strURL;
            pHost->m_bTesting = 1;
            doc.AddHost(pHost);
        }
        doc.m_nIntervalMinutes = 1;
        Require(doc.SaveHosts(), "cannot write the data file");
    }
    static void Require(bool bOk, const char* pszWhat) {
        if (!bOk)
            throw std::runtime_error(pszWhat);
    }

    CTempDir m_dir;
    const std::string m_strData = m_dir / "hosts.dat";
    CNetnsLab m_lab;
    std::string m_strC;
    int m_nHosts = 0;
    std::vector<std::unique_ptr<CLoopbackHttpServer>> m_arrWeb;
};
