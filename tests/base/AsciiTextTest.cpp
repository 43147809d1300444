// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/AsciiText.h"

#include <climits>
#include <gtest/gtest.h>

using namespace AsciiText;

TEST(AsciiTextTest, DecimalNumbersInEachModeNeverWrapAndIgnoreTheLocale) {
    struct SCase {
        const char* text;
        EDecimal mode;
        long long most;
        std::optional<long long> expected;
    };
    const SCase cases[] = {
        {"8080", EDecimal::Whole, 65535, 8080},
        {"65536", EDecimal::Whole, 65535, std::nullopt},
        {"3", EDecimal::Whole, 2, std::nullopt},
        {"2", EDecimal::Whole, 2, 2},
        {"", EDecimal::Whole, 9, std::nullopt},
        {"12a", EDecimal::Whole, 99, std::nullopt},
        {" 1", EDecimal::Whole, 9, std::nullopt},
        {"200 OK", EDecimal::Leading, UINT_MAX, 200},
        {"4294967295", EDecimal::Leading, UINT_MAX, 4294967295LL},
        {"4294967296", EDecimal::Leading, UINT_MAX, std::nullopt},
        {"-1", EDecimal::Leading, UINT_MAX, std::nullopt},
        {" \t-42abc", EDecimal::Scanf, INT_MAX, -42},
        {"+7", EDecimal::Scanf, INT_MAX, 7},
        {"-2147483648", EDecimal::Scanf, INT_MAX, INT_MIN},
        {"2147483648", EDecimal::Scanf, INT_MAX, std::nullopt},
        {"- 1", EDecimal::Scanf, INT_MAX, std::nullopt},
        {"99999999999999999999999", EDecimal::Scanf, LLONG_MAX - 1, std::nullopt},
        {"\xb9", EDecimal::Scanf, 9, std::nullopt}, // a superscript one in Latin-1
    };
    for (const SCase& c : cases)
        EXPECT_EQ(ParseDecimal(c.text, c.mode, c.most), c.expected) << c.text;
}

TEST(AsciiTextTest, CaseAndBlanksAreAsciiOnly) {
    EXPECT_EQ(ToUpper(std::string("index.html\xe9")), "INDEX.HTML\xe9");
    EXPECT_TRUE(StartsWithNoCase("Location: x", "location"));
    EXPECT_FALSE(EqualsNoCase("\xc9", "\xe9"));
    EXPECT_EQ(Trim(" \t host \v", ESpace::CSpace), "host");
    EXPECT_EQ(Trim(" \t host \v", ESpace::Tab), "host \v");
    EXPECT_EQ(TrimStart("  \thost", ESpace::Blank), "\thost");
}
