#include "platform/uuid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

TEST(Uuid, RandomVersion4InTheStandardLowerCaseForm) {
    const UUID fixed{{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98, 0x76,
                      0x54, 0x32, 0x10}};
    EXPECT_EQ(UuidToString(fixed), "01234567-89ab-cdef-fedc-ba9876543210");
    // Version 4 and the RFC 4122 variant.
    const std::regex shape("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    std::set<std::string> seen;
    for (UUID uuid; seen.size() < 1000 && UuidCreate(uuid);) {
        ASSERT_TRUE(std::regex_match(UuidToString(uuid), shape)) << UuidToString(uuid);
        ASSERT_TRUE(seen.insert(UuidToString(uuid)).second);
    }
    EXPECT_EQ(seen.size(), 1000u);
}
