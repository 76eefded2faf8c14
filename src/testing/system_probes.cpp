#include "testing/system_probes.h"

#include "platform/http_client.h"

namespace {

class CHttpSession : public CInternetSession {
public:
    bool Open(const std::string& strAgent) { return m_client.Open(strAgent); }
    bool SendRequest(bool bHttps, const std::string& strServer, const std::string& strAddress,
                     uint16_t nPort, const std::string& strObject, const std::string& strUser,
                     const std::string& strPassword, const CEvent& evStop) override {
        return m_client.Request(bHttps, strServer, strAddress, nPort, strObject, strUser,
                                strPassword, &evStop);
    }
    CHttpExchange GetLastExchange() const override { return m_client.GetLastExchange(); }

private:
    CHttpClient m_client;
};

} // namespace

CSystemProbes::CSystemProbes() {
    CHttpClient::InitLibrary();
}

bool CSystemProbes::PingUsingICMP(const std::string& strHost, CPingResult& result, uint8_t nTTL,
                                  uint32_t dwTimeoutMs, uint16_t nPayloadSize, uint8_t nTOS,
                                  bool bDontFragment, const CEvent& evStop) {
    return m_ping.PingUsingICMP(strHost, result, nTTL, dwTimeoutMs, nPayloadSize, nTOS,
                                bDontFragment, &evStop);
}

bool CSystemProbes::ConnectTCP(const std::string& strHost, uint16_t nPort, CPingResult& result,
                               uint32_t dwTimeoutMs, const CEvent& evStop) {
    return m_tcpPing.Connect(strHost, nPort, result, dwTimeoutMs, &evStop);
}

bool CSystemProbes::IsEchoPermitted() {
    return _CPING_ICMP::Get().IsLoaded();
}

CHostLookup::EResult CSystemProbes::LookUp(const std::string& strServer, CResolvedHost& addresses,
                                           const CEvent& evStop) {
    return CHostLookup::LookUp(strServer, addresses, &evStop);
}

std::unique_ptr<CInternetSession> CSystemProbes::InternetOpen(const std::string& strAgent) {
    auto pSession = std::make_unique<CHttpSession>();
    if (!pSession->Open(strAgent))
        return nullptr;
    return pSession;
}

bool CSystemProbes::IsConnected() {
    return m_connection.IsConnected();
}
