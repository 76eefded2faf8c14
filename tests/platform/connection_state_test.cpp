#include "platform/connection_state.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// Records the order in which the two queries are asked.
struct CScriptedState : CConnectionState {
    bool m_bConnected, m_bAlive;
    mutable std::string m_strCalls;
    CScriptedState(bool bConnected, bool bAlive) : m_bConnected(bConnected), m_bAlive(bAlive) {}
    bool InternetGetConnectedState() const override { return m_strCalls += "c", m_bConnected; }
    bool IsNetworkAlive() const override { return m_strCalls += "a", m_bAlive; }
};

} // namespace

TEST(ConnectionState, SecondQueryOnlyAfterAYesAndOnlyAnUpDefaultRouteCounts) {
    for (const auto& [bConnected, bAlive, pszCalls] :
         {std::tuple{false, true, "c"}, std::tuple{true, false, "ca"},
          std::tuple{true, true, "ca"}}) {
        CScriptedState state(bConnected, bAlive);
        EXPECT_EQ(state.IsConnected(), bConnected && bAlive);
        EXPECT_EQ(state.m_strCalls, pszCalls);
    }
    const std::string strTitles = "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\n";
    const std::string strDefault = "eth0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\n";
    // A reject ("unreachable") route, one that is down, one with a mask, a damaged line.
    const std::string strUnusable = "*\t00000000\t00000000\t0201\t0\t0\t0\t00000000\n"
                                    "eth0\t00000000\t0102A8C0\t0002\t0\t0\t0\t00000000\n"
                                    "eth0\t00000000\t0102A8C0\t0003\t0\t0\t0\t000000FF\n"
                                    "eth0\t00000000\t0102A8C0\tzz\t0\t0\t0\t00000000\ngarbage\n";
    const std::string strZero(32, '0'), strV6 = strZero + " 00 " + strZero + " 00 " + strZero +
                                                " 00000400 00000001 00000000 00450003 ";
    // eth0 and lo have a carrier, wlan0 is up without one (its routes are "linkdown").
    const auto isRunning = [](const std::string& str) { return str == "eth0" || str == "lo"; };
    const std::string strLinkDown = "wlan0\t00000000\t0102A8C0\t0003\t0\t0\t100\t00000000\n";
    const std::tuple<std::string, std::string, bool> cases[] = {
        {strTitles + strDefault, "", true},
        {strTitles + strUnusable, "", false},
        {strDefault, "", false}, // taken for the titles
        {strTitles, strV6 + "eth0\n", true},
        {strTitles, strV6 + "lo\n", false},
        {strTitles + "lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\n", "", false},
        {strTitles,
         "fe80" + strZero.substr(4) + " 40 " + strZero + " 00 " + strZero +
             " 00000100 00000001 00000000 00000001 eth0\n",
         false}, // not the default
        {strTitles + strLinkDown, "", false},
        {strTitles + strLinkDown, strV6 + "wlan0\n", false},
        {strTitles + strLinkDown, strV6 + "eth0\n", true},
        {strTitles + strLinkDown + strDefault, "", true},
    };
    for (const auto& [strV4Routes, strV6Routes, bExpected] : cases)
        EXPECT_EQ(CConnectionState::HasDefaultRoute(strV4Routes, strV6Routes, isRunning), bExpected)
            << strV4Routes << strV6Routes;
}
