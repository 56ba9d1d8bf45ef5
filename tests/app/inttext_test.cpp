#include <gtest/gtest.h>

#include "settings/inttext.h"

using lumarel::settings::TextToInt;

TEST(IntegerText, DecimalWithinTheSignedRange) {
    EXPECT_EQ(TextToInt("0"), 0);
    EXPECT_EQ(TextToInt("00"), 0);
    EXPECT_EQ(TextToInt("-0"), 0);
    EXPECT_EQ(TextToInt("4711"), 4711);
    EXPECT_EQ(TextToInt("+12"), 12);
    EXPECT_EQ(TextToInt("   -1"), -1);
    EXPECT_EQ(TextToInt("2147483647"), 2147483647);
    EXPECT_EQ(TextToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(TextToInt("2147483648"), std::nullopt);
    EXPECT_EQ(TextToInt("-2147483649"), std::nullopt);
    EXPECT_EQ(TextToInt("4294967296"), std::nullopt);
    EXPECT_EQ(TextToInt("99999999999999999999"), std::nullopt);
}

TEST(IntegerText, HexadecimalPrefixesAndThe32BitPattern) {
    EXPECT_EQ(TextToInt("$1"), 1);
    EXPECT_EQ(TextToInt("x1"), 1);
    EXPECT_EQ(TextToInt("X1f"), 31);
    EXPECT_EQ(TextToInt("0x10"), 16);
    EXPECT_EQ(TextToInt("0X0"), 0);
    EXPECT_EQ(TextToInt("$0"), 0);
    EXPECT_EQ(TextToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(TextToInt("$000000001"), 1);
    EXPECT_EQ(TextToInt("-$2"), -2);
    EXPECT_EQ(TextToInt("$100000000"), std::nullopt);
}

TEST(IntegerText, AnythingElseIsNoInteger) {
    for (const char* text : {"", " ", "+", "-", "$", "x", "0x", "1 ", " 1 ", "\t1", "1a", "true", "yes", "--1", "+-1",
                             "0x1g", "1.0", "$ 1"}) {
        EXPECT_EQ(TextToInt(text), std::nullopt) << '"' << text << '"';
    }
}
