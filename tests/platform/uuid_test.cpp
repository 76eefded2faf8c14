#include "platform/uuid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

TEST(Uuid, RandomVersion4InTheStandardLowerCaseForm) {
    static const std::regex s_form(
        "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        UUID uuid;
        ASSERT_TRUE(UuidCreate(uuid));
        std::string str = UuidToString(uuid);
        EXPECT_TRUE(std::regex_match(str, s_form)) << str;
        seen.insert(str);
    }
    EXPECT_EQ(seen.size(), 1000u);
    UUID fixed{{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54,
                0x32, 0x10}};
    EXPECT_EQ(UuidToString(fixed), "01234567-89ab-cdef-fedc-ba9876543210");
}
