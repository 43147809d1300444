// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CWebAddress.h"

#include <gtest/gtest.h>

namespace {

std::string Parts(std::string_view url) {
    const std::optional<SWebAddress> address = CWebAddress::Parse(url);
    if (!address)
        return "none";
    const char* const kSchemes[] = {"http", "https", "ftp"};
    return std::string(kSchemes[static_cast<int>(address->scheme)]) + " " + address->host + " " +
           std::to_string(address->port) + " " + address->path;
}

TEST(WebAddressTest, HostPortAndPathOfALink) {
    EXPECT_EQ(Parts("HTTPS://Www.Example.com/a/b?q=1#top"), "https Www.Example.com 0 /a/b?q=1");
    // User information goes, up to the last "@"; the port follows it.
    EXPECT_EQ(Parts("http://user:p@ss@host:8080/x"), "http host 8080 /x");
    EXPECT_EQ(Parts("https://u@h"), "https h 0 /");
    EXPECT_EQ(Parts("http://h?q"), "http h 0 /?q");
    EXPECT_EQ(Parts("http://h:/"), "http h 0 /");
    EXPECT_EQ(Parts("ftp://f.example:2121/pub"), "ftp f.example 2121 /pub");
    for (const char* bad : {"http://h:0/", "http://h:65536/", "http://h:8o/", "http://h:-1/"})
        EXPECT_EQ(CWebAddress::Parse(bad)->port, SWebAddress::kUnusablePort) << bad;
    // What a request line cannot carry is encoded, "%" itself is not.
    EXPECT_EQ(Parts("http://h/a b\x01\xC3\xA9%20"), "http h 0 /a%20b%01%C3%A9%20");
    EXPECT_EQ(Parts("mailto:x@y"), "none");
    EXPECT_EQ(Parts("https:/h"), "none");
}

TEST(WebAddressTest, ALocationIsResolvedAgainstTheUrlThatGaveIt) {
    const std::string base = "http://u@h:81/dir/page?x=1#f";
    const std::pair<const char*, const char*> cases[] = {
        {"https://other/p#frag", "https://other/p"}, {"HTTP://Other/a/../b", "http://Other/b"},
        {"//cdn.example/x", "http://cdn.example/x"}, {"/top?y=2", "http://u@h:81/top?y=2"},
        {"next", "http://u@h:81/dir/next"},          {"../up/./there/", "http://u@h:81/up/there/"},
        {"../../../..", "http://u@h:81/"},           {"?z", "http://u@h:81/dir/page?z"},
        {"  sub/  ", "http://u@h:81/dir/sub/"},      {"", "http://u@h:81/dir/page?x=1"},
    };
    for (const auto& [location, expected] : cases)
        EXPECT_EQ(CWebAddress::Resolve(base, location).value_or("none"), expected) << location;
    for (const char* elsewhere : {"ftp://f/", "mailto:x@y", "javascript:void(0)"})
        EXPECT_FALSE(CWebAddress::Resolve(base, elsewhere)) << elsewhere;
}

} // namespace
