#pragma once

#include <functional>
#include <string>

// Whether the computer is connected at all, from two questions asked in order.
class CConnectionState {
public:
    virtual ~CConnectionState() = default;

    // True when both queries say yes; the second is asked only after the first said yes.
    bool IsConnected() const;

    // First query: the system has a usable default route (IPv4 or IPv6) on a device that is
    // up and has a carrier.
    virtual bool InternetGetConnectedState() const;
    // Second query: a non-loopback interface is up and has an address.
    virtual bool IsNetworkAlive() const;

    // Whether a network device is up and running (has a carrier), by name.
    using LinkRunningFn = std::function<bool(const std::string& strDevice)>;

    // The route tables' texts as in /proc/net/route and /proc/net/ipv6_route: true when one
    // holds an up default route that is not a reject (unreachable) route and whose device
    // isLinkRunning accepts (a route marked linkdown stays in the tables).
    static bool HasDefaultRoute(const std::string& strIPv4Routes, const std::string& strIPv6Routes,
                                const LinkRunningFn& isLinkRunning);
    // The device's flags say up and running.
    static bool IsLinkRunning(const std::string& strDevice);
};
