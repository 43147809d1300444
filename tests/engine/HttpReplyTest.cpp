// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/HttpReply.h"

#include "engine/OutcomeCodes.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpReplyTest, TheStatusLineIsWholeAtItsLineFeedAndItsNumberFollowsTheFirstWord) {
    const std::tuple<std::string, unsigned, bool> cases[] = {
        {"HTTP/1.0 404 Not Found\r\n", 404, true},
        {"HTTP/1.0\t\v301", 301, false},
        {"HTTP/1.0 +302 Found", 302, false},
        {"HTTP/1.0 200OK", 200, false},
        {"HTTP/1.0 4294967295 x", 4294967295u, false},
        {"HTTP/1.0 4294967496 x", Outcome::kNoStatusCode, false}, // never wraps to 200
        {"HTTP/1.0 -1", Outcome::kNoStatusCode, false},
        {"HTTP/1.0 OK 200", Outcome::kNoStatusCode, false},
        {"HTTP/1.0\n404", Outcome::kNoStatusCode, true},
        {std::string("HTTP/1.0\0 404", 13), Outcome::kNoStatusCode, false},
        {"\n\n\n", Outcome::kNoStatusCode, false},
        {std::string(512, 'x'), Outcome::kNoStatusCode, true}, // no more of a line is read
    };
    for (const auto& [reply, code, bWhole] : cases) {
        EXPECT_EQ(HttpReply::StatusCodeOf(reply), code) << reply;
        EXPECT_EQ(HttpReply::StatusLineComplete(reply), bWhole) << reply;
    }
}

TEST(HttpReplyTest, HeadersAreFoundInAnyCaseUpToTheEndOfTheHead) {
    const std::string head = "HTTP/1.1 301 Moved\r\nX-Location: no\r\nlocation:  /a b \r\n"
                             "Location: /second\r\n\r\nRetry-After: 5\r\n";
    EXPECT_TRUE(HttpReply::HeadComplete(head));
    EXPECT_EQ(HttpReply::HeaderValue(head, "Location").value_or("none"), "/a b");
    EXPECT_EQ(HttpReply::RetryAfterSeconds(head), -1); // the one past the head is no header
    const std::string busy = "HTTP/1.0 429 x\nretry-after:7\n";
    EXPECT_EQ(HttpReply::RetryAfterSeconds(busy), 7);
    EXPECT_FALSE(HttpReply::HeadComplete(busy));
    EXPECT_TRUE(HttpReply::HeadComplete(busy + "\n"));
}

} // namespace
