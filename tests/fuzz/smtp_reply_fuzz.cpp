// The whole client (greeting, HELO/EHLO, logins, the reply reader's growth and cap) reads what a
// hostile server says on one connection: the input after its first byte, which picks the login
// (the last, the one the EHLO reply offers).
#include "../mail/scripted_smtp_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static uint16_t s_nPort = 0;
    static const int s_hListen = LoopbackSocket(s_nPort, true);
    if (nSize < 1)
        return 0;
    std::thread server([&] {
        int hPeer = accept(s_hListen, nullptr, nullptr);
        send(hPeer, pData + 1, nSize - 1, MSG_NOSIGNAL);
        shutdown(hPeer, SHUT_WR);
        for (char buffer[4096]; recv(hPeer, buffer, sizeof buffer, 0) > 0;) {
        }
        close(hPeer);
    });
    {
        CSMTPConnection connection;
        connection.m_strHeloName = "fuzz";
        connection.m_dwTimeoutMs = 200;
        connection.Connect("127.0.0.1", pData[0] % 6, "user", "password", s_nPort);
    }
    server.join();
    return 0;
}
