// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/CDisplayText.h"

#include <gtest/gtest.h>

TEST(DisplayTextTest, ValidUtf8IsShownAsUtf8AndAnythingElseAsLatin1) {
    EXPECT_EQ(CDisplayText::FromBytes("caf\xc3\xa9"), QStringView(u"caf\u00e9").toString());
    EXPECT_EQ(CDisplayText::FromBytes("\xff\xfe"), QStringView(u"\u00ff\u00fe").toString());
    EXPECT_EQ(CDisplayText::FromBytes(std::string("a\0b", 3)).size(), 3);
}
