#include "testing/system_probes.h"

#include "platform/http_client.h"
#include "platform/resolver.h"

namespace {

class CHttpSession : public CInternetSession {
public:
    bool Open(const std::string& strAgent, uint16_t nPort) {
        m_client.SetPort(nPort);
        return m_client.Open(strAgent);
    }
    bool SendRequest(const std::string& strServer, const std::string& strObject,
                     const std::string& strUser, const std::string& strPassword) override {
        return m_client.Request(strServer, strObject, strUser, strPassword);
    }

private:
    CHttpClient m_client;
};

} // namespace

CSystemProbes::CSystemProbes() {
    CHttpClient::InitLibrary();
}

bool CSystemProbes::PingUsingICMP(const std::string& strHost, CPingResult& result, uint8_t nTTL,
                                  uint32_t dwTimeoutMs, uint16_t nPayloadSize, uint8_t nTOS,
                                  bool bDontFragment) {
    return m_ping.PingUsingICMP(strHost, result, nTTL, dwTimeoutMs, nPayloadSize, nTOS,
                                bDontFragment);
}

bool CSystemProbes::Resolve(const std::string& strServer) {
    uint32_t dwAddress = 0;
    return ResolveIPv4(strServer, dwAddress);
}

std::unique_ptr<CInternetSession> CSystemProbes::InternetOpen(const std::string& strAgent) {
    auto pSession = std::make_unique<CHttpSession>();
    if (!pSession->Open(strAgent, m_nHttpPort))
        return nullptr;
    return pSession;
}

bool CSystemProbes::IsConnected() {
    return m_connection.IsConnected();
}
