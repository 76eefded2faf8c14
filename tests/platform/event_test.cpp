#include "platform/event.h"
#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <thread>

TEST(Event, ManualResetStaysSetUntilReset) {
    CEvent ev;
    EXPECT_FALSE(ev.Wait(0));
    ev.Set();
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_TRUE(ev.Wait(1000));
    ev.Reset();
    EXPECT_FALSE(ev.IsSet());
    std::thread setter([&ev] { ev.Set(); });
    EXPECT_TRUE(ev.Wait(10000));
    setter.join();
}

TEST(LastError, IsPerThread) {
    SetLastError(10060);
    std::thread other([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(2);
    });
    other.join();
    EXPECT_EQ(GetLastError(), 10060u);
}
