// The input is everything a hostile server says on one connection; its first byte picks the
// login method. The whole client state machine reads it: greeting, HELO/EHLO, the logins with
// their Base64 prompts, the reply reader's growth and cap.
#include "mail/smtp_connection.h"

#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

int ListeningSocket(uint16_t& nPort) {
    int hListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof addr;
    if (bind(hListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(hListen, 4) != 0 ||
        getsockname(hListen, reinterpret_cast<sockaddr*>(&addr), &nLength) != 0)
        __builtin_trap();
    nPort = ntohs(addr.sin_port);
    return hListen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static uint16_t s_nPort = 0;
    static const int s_hListen = ListeningSocket(s_nPort);
    if (nSize < 1)
        return 0;
    std::thread server([&] {
        int hPeer = accept(s_hListen, nullptr, nullptr);
        if (hPeer < 0)
            return;
        send(hPeer, pData + 1, nSize - 1, MSG_NOSIGNAL);
        shutdown(hPeer, SHUT_WR);
        char buffer[4096];
        while (recv(hPeer, buffer, sizeof buffer, 0) > 0) {
        }
        close(hPeer);
    });
    {
        CSMTPConnection connection;
        connection.m_strHeloName = "fuzz";
        connection.m_dwTimeoutMs = 200;
        connection.Connect("127.0.0.1", pData[0] % 5, "user", "password", s_nPort);
    }
    server.join();
    return 0;
}
