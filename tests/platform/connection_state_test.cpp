#include "platform/connection_state.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Records the order in which the two queries are asked.
class CScriptedConnectionState : public CConnectionState {
public:
    CScriptedConnectionState(bool bConnected, bool bAlive)
        : m_bConnected(bConnected), m_bAlive(bAlive) {}
    bool InternetGetConnectedState() const override {
        m_strCalls += "connected;";
        return m_bConnected;
    }
    bool IsNetworkAlive() const override {
        m_strCalls += "alive;";
        return m_bAlive;
    }
    mutable std::string m_strCalls;

private:
    bool m_bConnected;
    bool m_bAlive;
};

const char* const IPV4_TITLES =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

} // namespace

TEST(ConnectionState, SecondQueryOnlyAfterAYes) {
    struct {
        bool bConnected, bAlive, bResult;
        const char* pszCalls;
    } cases[] = {
        {false, true, false, "connected;"},
        {false, false, false, "connected;"},
        {true, false, false, "connected;alive;"},
        {true, true, true, "connected;alive;"},
    };
    for (const auto& c : cases) {
        CScriptedConnectionState state(c.bConnected, c.bAlive);
        EXPECT_EQ(state.IsConnected(), c.bResult);
        EXPECT_EQ(state.m_strCalls, c.pszCalls);
    }
}

TEST(ConnectionState, DefaultRouteFromTheRouteTables) {
    const std::string strIPv4Default =
        std::string(IPV4_TITLES) + "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                                   "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
    const std::string strIPv4NoDefault =
        std::string(IPV4_TITLES) + "eth0\t0002A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
    // "ip route add unreachable default": a reject route is no connection; a route that is
    // not up neither; a default address with a non-zero mask is no default route.
    const std::string strIPv4Unusable =
        std::string(IPV4_TITLES) + "*\t00000000\t00000000\t0201\t0\t0\t0\t00000000\t0\t0\t0\n" +
        "eth0\t00000000\t0102A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n" +
        "eth0\t00000000\t0102A8C0\t0003\t0\t0\t0\t000000FF\t0\t0\t0\n" +
        "eth0\t00000000\t0102A8C0\tzz\t0\t0\t0\t00000000\t0\t0\t0\n" + "garbage\n";
    const std::string strZero(32, '0');
    const std::string strIPv6LoopbackOnly =
        "00000000000000000000000000000001 80 " + strZero + " 00 " + strZero +
        " 00000000 00000002 00000000 80200001       lo\n" + strZero + " 00 " + strZero + " 00 " +
        strZero + " ffffffff 00000001 00000000 00200200       lo\n";
    const std::string strIPv6Default = strIPv6LoopbackOnly + strZero + " 00 " + strZero +
                                       " 00 fe800000000000000000000000000001 00000400 00000001 "
                                       "00000000 00450003     eth0\n";

    EXPECT_TRUE(CConnectionState::HasDefaultRoute(strIPv4Default, ""));
    EXPECT_FALSE(CConnectionState::HasDefaultRoute(strIPv4NoDefault, strIPv6LoopbackOnly));
    EXPECT_FALSE(CConnectionState::HasDefaultRoute(strIPv4Unusable, strIPv6LoopbackOnly));
    EXPECT_TRUE(CConnectionState::HasDefaultRoute(strIPv4NoDefault, strIPv6Default));
    EXPECT_FALSE(CConnectionState::HasDefaultRoute("", ""));
    // Without the title line the first route would be taken for the titles.
    EXPECT_FALSE(CConnectionState::HasDefaultRoute(
        "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n", ""));
}
