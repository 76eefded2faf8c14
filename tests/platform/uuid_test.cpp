#include "platform/uuid.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

TEST(Uuid, RandomVersion4InTheStandardLowerCaseForm) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        UUID uuid;
        ASSERT_TRUE(UuidCreate(uuid));
        std::string str = UuidToString(uuid);
        ASSERT_EQ(str.size(), 36u);
        for (size_t j = 0; j < str.size(); ++j) {
            if (j == 8 || j == 13 || j == 18 || j == 23)
                EXPECT_EQ(str[j], '-') << str;
            else
                EXPECT_TRUE(isdigit(str[j]) || (str[j] >= 'a' && str[j] <= 'f')) << str;
        }
        EXPECT_EQ(str[14], '4') << str;                                         // version 4
        EXPECT_NE(std::string("89ab").find(str[19]), std::string::npos) << str; // RFC 4122
        seen.insert(str);
    }
    EXPECT_EQ(seen.size(), 1000u);
    UUID fixed{{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54,
                0x32, 0x10}};
    EXPECT_EQ(UuidToString(fixed), "01234567-89ab-cdef-fedc-ba9876543210");
}
