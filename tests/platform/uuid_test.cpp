#include "platform/uuid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

// Random, version 4 and the RFC 4122 variant, in the standard lower-case form.
TEST(Uuid, RandomVersion4InTheStandardLowerCaseForm) {
    EXPECT_EQ(UuidToString({{1, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98,
                             0x76, 0x54, 0x32, 0x10}}),
              "01234567-89ab-cdef-fedc-ba9876543210");
    const std::regex shape("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        UUID uuid;
        ASSERT_TRUE(UuidCreate(uuid));
        ASSERT_TRUE(std::regex_match(*seen.insert(UuidToString(uuid)).first, shape));
    }
    EXPECT_EQ(seen.size(), 1000u);
}
