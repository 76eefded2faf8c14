#pragma once

#include "platform/resolver.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

#include <sys/types.h>

class CEvent;

// Status of a reply that is an ICMP error answering our request.
constexpr uint32_t PING_STATUS_SUCCESS = 0;
constexpr uint32_t PING_STATUS_DEST_NET_UNREACHABLE = 11002;
constexpr uint32_t PING_STATUS_DEST_HOST_UNREACHABLE = 11003;
constexpr uint32_t PING_STATUS_DEST_PROT_UNREACHABLE = 11004;
constexpr uint32_t PING_STATUS_DEST_PORT_UNREACHABLE = 11005;
constexpr uint32_t PING_STATUS_PACKET_TOO_BIG = 11009;
constexpr uint32_t PING_STATUS_BAD_ROUTE = 11012;
constexpr uint32_t PING_STATUS_TTL_EXPIRED_TRANSIT = 11013;
constexpr uint32_t PING_STATUS_TTL_EXPIRED_REASSEM = 11014;
constexpr uint32_t PING_STATUS_PARAM_PROBLEM = 11015;
constexpr uint32_t PING_STATUS_SOURCE_QUENCH = 11016;
constexpr uint32_t PING_STATUS_GENERAL_FAILURE = 11050; // any other ICMP error

// One ICMP socket of one family, shared by every echo in flight from a network namespace, and
// the one thread that reads it. Each reply goes to the echo it answers by sequence number and
// source address (an ICMP error by the request it quotes), and on a raw socket, which sees
// every echo of the host, also by our identifier; a ping socket's identifier is the kernel's,
// which only passes us replies that carry it.
class CEchoSocket {
public:
    enum class EEnd {
        ANSWERED,  // an echo reply with our data, or an ICMP error about our request
        BAD_REPLY, // our reply, but its data is not what we sent
        TIMED_OUT,
        STOPPED, // the stop event was set while waiting
        FAILED,  // the request could not be sent; errno says why
    };

    struct CRequest {
        CHostAddress target;
        uint8_t nTTL = 64;
        uint8_t nTOS = 0;
        bool bDontFragment = false;
        uint16_t wDataSize = 32;
        uint32_t dwTimeoutMs = 5000;
    };

    struct CAnswer {
        CHostAddress from; // the replying host, or the router that reports an error
        uint32_t dwStatus = PING_STATUS_SUCCESS;
        uint32_t dwRTT = 0;       // whole milliseconds
        uint32_t dwRTTTenths = 0; // tenths of a millisecond
    };

    // The socket of the calling thread's network namespace for the family, raw or a ping
    // socket: the one the echoes in flight share, or a new one. nullptr, errno set, when it
    // cannot be opened. It closes once no echo has used it for a while.
    static std::shared_ptr<CEchoSocket> Acquire(bool bRaw, int nFamily);
    // A bare ICMP socket of the kind (-1 and errno when not allowed).
    static int OpenIcmpSocket(bool bRaw, int nFamily);

    ~CEchoSocket();
    CEchoSocket(const CEchoSocket&) = delete;
    CEchoSocket& operator=(const CEchoSocket&) = delete;

    // Sends one echo of request.wDataSize bytes of 0x45 with the request's options and waits
    // up to its time-out for the answer; pevStop (may be null) ends the wait early.
    EEnd Echo(const CRequest& request, const CEvent* pevStop, CAnswer& answer);

    // Network namespace (device, inode), raw or not, family.
    using CKey = std::tuple<dev_t, ino_t, bool, int>;
    struct CPending; // an echo waiting for its answer
    struct CPacket;  // what a read packet says

private:
    CEchoSocket(int fd, int fdWake, bool bRaw, int nFamily);
    bool Send(const CRequest& request, const uint8_t* pData, size_t nSize);
    // Reads until woken, or until idle: then it hands back the registry's reference to this.
    std::shared_ptr<CEchoSocket> Receive(const CKey& key);
    void Dispatch(const CPacket& packet);

    const int m_fd;
    const int m_fdWake; // eventfd that ends the receiver
    const bool m_bRaw;
    const int m_nFamily;
    const uint16_t m_nId;

    std::mutex m_mtxSend; // the options in force belong to the datagram being sent
    int m_nTTL = -1;
    int m_nTOS = -1;
    int m_nDontFragment = -1;

    std::mutex m_mtxPending;
    std::map<uint16_t, CPending*> m_mapPending; // by sequence number
    std::thread m_receiver;
};
