// The connection check inside network namespaces made here, as a machine sees it that has only
// loopback, then a link without a default route, then one with it.
#include "platform/connection_state.h"
#include "platform/netns_lab.h"

#include <gtest/gtest.h>

#include <utility>

TEST(ConnectionStateInNamespaces, OnlyAnUpDefaultRouteOverARealLinkIsAConnection) {
    if (const std::string strWhyNot = CNetnsLab::WhyUnavailable(); !strWhyNot.empty())
        GTEST_SKIP() << strWhyNot;
    CNetnsLab lab("cs");
    const std::string strC = lab.Add("c"), strR = lab.Add("r");
    ASSERT_FALSE(strC.empty() || strR.empty());
    // Each step, then (default route, live interface) as the two queries answer inside c.
    const std::pair<std::string, std::pair<bool, bool>> steps[] = {
        {"ip -n " + strC + " route add default dev lo", {false, false}},
        {"ip -n " + strC + " route del default && ip -n " + strC +
             " link add vc type veth peer name vr netns " + strR + " && ip -n " + strC +
             " addr add 10.78.0.1/24 dev vc && ip -n " + strC + " link set vc up && ip -n " + strR +
             " link set vr up",
         {false, true}}, // routes to the link and its fe80::/64, none of them the default
        {"ip -n " + strC + " route add default via 10.78.0.2", {true, true}},
    };
    for (const auto& [strStep, expected] : steps) {
        ASSERT_TRUE(CNetnsLab::Run(strStep)) << strStep;
        const auto answers = lab.InNamespace(strC, [] {
            const CConnectionState state;
            return std::pair(state.InternetGetConnectedState(), state.IsNetworkAlive());
        });
        EXPECT_EQ(answers, expected) << strStep;
    }
}
