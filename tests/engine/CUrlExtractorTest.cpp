// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CUrlExtractor.h"

#include "engine/LocalHref.h"
#include "support/TestUtil.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Links = std::vector<std::pair<std::string, std::string>>;

using ELocal = CUrlExtractor::ELocal;

// The links of `page`, fed to the extractor in blocks of the sizes `blockSize`
// gives (all at once by default).
LinkList Extract(std::string_view page, const std::function<std::size_t()>& blockSize = {},
                 CUrlExtractor::ELinks kinds = CUrlExtractor::ELinks::Classic,
                 ELocal local = ELocal::Skip) {
    CUrlExtractor extractor(kinds, local);
    for (std::size_t at = 0; at < page.size();) {
        std::size_t n = std::min(blockSize ? blockSize() : page.size(), page.size() - at);
        extractor.Feed(page.data() + at, n);
        at += n;
    }
    extractor.Finish();
    LinkList links;
    extractor.TakeResults(links);
    return links;
}

const std::string kSupplied(CUrlExtractor::kSuppliedName);

// `cases` pairs each page with its links, written "URL|name;" one after the
// other, and a link between the pages "local:URL|name;".
void ExpectLinks(const Links& cases, CUrlExtractor::ELinks kinds = CUrlExtractor::ELinks::Classic,
                 ELocal local = ELocal::Skip) {
    for (const auto& [page, expected] : cases) {
        std::string links;
        for (const SFoundLink& link : Extract(page, {}, kinds, local))
            links += (link.bLocal ? "local:" : "") + link.url + "|" + link.name + ";";
        EXPECT_EQ(links, expected) << page;
    }
}

TEST(UrlExtractorTest, WhichLinkASegmentYieldsAndItsName) {
    ExpectLinks({
        {R"(<p><a href="HTTP://Www.Example.COM/Dir/Page.HTML">Go</a></p>)",
         "HTTP://Www.Example.COM/Dir/Page.HTML|Go;"},
        // Line breaks vanish without a trace, inside tags and addresses alike.
        {"<a\r\nhref=\"http://exa\nmple.com/pa\r\nge\">Two\r\nlines</a>",
         "http://example.com/page|Twolines;"},
        {"<\nA HREF=\"ftp://files.example/pub\">Files</A>", "ftp://files.example/pub|Files;"},
        // With "</A" present the name keeps inner markup; otherwise "</a"; the
        // bare "<" only as a last resort, which stops at the first inner tag.
        {R"(<A href="http://h/">the <B>bold</B> one</A>)", "http://h/|the <B>bold</B> one;"},
        {R"(<a href="http://h/">x <font>y</font></a>)", "http://h/|x <font>y</font>;"},
        {R"(<a href="http://h/">first<br>second)", "http://h/|first;"},
        {R"(<a href="http://h/"><img src="logo.gif"></a>)", R"(http://h/|<img src="logo.gif">;)"},
        // Names are trimmed, or supplied when there is none.
        {R"(<a href="http://h/"></a>)", "http://h/|" + kSupplied + ";"},
        {R"(<a href="http://h/">   </a>)", "http://h/|;"},
        {"<a href=\"http://h/\">\tone\ttwo \v\f</a>", "http://h/|one two;"},
        {R"(<area href="http://h/map" alt="x">Region<p>)", "http://h/map|Region;"},
        {R"(<area href="http://h/map"><p>)", "http://h/map|" + kSupplied + ";"},
        // Not secure links, not relative ones...
        {R"(<a href="https://h/">s</a><a href="/rel">r</a><a href="mailto:x@y">m</a>)", ""},
        // ...unless an absolute link stands later in the same segment.
        {R"(<a href="/rel">r</a> see "http://later/x" > y <p>)", "http://later/x|y;"},
        // The first http link of the segment wins over an earlier ftp link.
        {R"(<a href="ftp://f/" title="http://h/t">x</a>)", "http://h/t|x;"},
        // One link per segment; the same link twice is listed twice.
        {R"(<a href="http://a/">A</a> "http://b/">B</a><a href="http://a/">A</a>)",
         "http://a/|A;http://a/|A;"},
        // The address runs to the next double quote, spaces and all, then loses
        // trailing blanks; a fragment stays.
        {"<a href=http://h/a b c \t\">x</a>", "http://h/a b c|x;"},
        {R"(<a href="http://h/p?q=1#top">x</a>)", "http://h/p?q=1#top|x;"},
        // Missing quote, ">" or closer: nothing.
        {"<a href='http://h/'>x</a>", ""},
        {"<a href=\"http://h/\"", ""},
        {"<a href=\"http://h/\">no closer", ""},
        // Every tag that begins with "a" opens a segment, and text before the
        // first one is never searched.
        {R"("http://before/">x</a><abbr title="http://ab/">AB</abbr>)", "http://ab/|AB;"},
        // A link at the very first byte of a segment is not taken.
        {R"(<Ahttp://h/">x</a>)", ""},
        {R"(<A http://h/">x</a>)", "http://h/|x;"},
        // A NUL byte ends the text of its piece, and no further.
        {std::string("<a x\0\"http://h\">n<", 18), ""},
        {std::string("<a xhttp://h\0\">n<", 18), ""},
        {std::string("<a\0<a x http://h\">n<", 21), "http://h|n;"},
        {"no anchors at all", ""},
        {"", ""},
        {"<a", ""},
        {"<", ""},
    });
}

TEST(UrlExtractorTest, EachLinkKnowsTheLineAndByteItsAddressStartsAt) {
    // Only line feeds end lines, and the address's own line counts wherever its
    // tag began; a carriage return is a byte of its line (one before a line feed
    // ends the line with it), so a column counts the page's own bytes.
    const std::vector<std::pair<std::string, std::vector<std::pair<int, int>>>> cases = {
        {"top\n<a href=\"http://a/\">A</a>\r\n\r\n<p><a\nhref=\"http://b/\">B</a> "
         "<a href=\"http://c\n/\">C</a>\rnext <a href=\"ftp://d/\">D</a>\n",
         {{2, 10}, {5, 7}, {5, 33}, {6, 24}}},
        {"<a href=\"http://a/\">A</a>\n  <a href=\"http://b/\">B</a>", {{1, 10}, {2, 12}}},
        {"<a href=\"http://a/\">A</a>\r\n  <a href=\"http://b/\">B</a>", {{1, 10}, {2, 12}}},
        // A lone carriage return ends no line.
        {"<a href=\"http://a/\">A</a>\r  <a href=\"http://b/\">B</a>", {{1, 10}, {1, 38}}},
        {"\r\r\n\r<a href=\"http://a/\">A</a>", {{2, 11}}},
        // An address split over lines is where it starts, even split in its scheme.
        {"x\n<a href=\"ht\r\ntp://a/\">A</a>", {{2, 10}}},
    };
    for (const auto& [page, expected] : cases)
        for (std::size_t block : {page.size(), std::size_t{1}, std::size_t{3}}) {
            std::vector<std::pair<int, int>> found;
            for (const SFoundLink& link : Extract(page, [block] { return block; }))
                found.emplace_back(link.line, link.column);
            EXPECT_EQ(found, expected) << page << " in blocks of " << block;
        }
}

TEST(UrlExtractorTest, TheCurrentWebModeFindsSecureLinksUnderTheSameRules) {
    ExpectLinks(
        {
            {R"(<a href="HTTPS://h/s">s</a>)", "HTTPS://h/s|s;"},
            // Whichever of http and https starts first; ftp only without either.
            {R"(<a href="https://s/" title="http://h/">x</a>)", "https://s/|x;"},
            {R"(<a href="http://h/" title="hTTpS://s/">x</a>)", "http://h/|x;"},
            {R"(<a href="ftp://f/" title="https://s/">x</a>)", "https://s/|x;"},
            {R"(<a href="ftp://f/">x</a>)", "ftp://f/|x;"},
            // Not at a segment's first byte, nor without its quote.
            {R"(<Ahttps://h/">x</a>)", ""},
            {"<a href='https://h/'>x</a>", ""},
        },
        CUrlExtractor::ELinks::CurrentWeb);
}

TEST(UrlExtractorTest, TheLinksBetweenThePagesAreTheFirstHrefValueOfEachTag) {
    const std::string both = R"(<a href="/rel">r</a> see "http://later/x" > y <p>)";
    ExpectLinks({{both, "http://later/x|y;"}}); // not without being asked for
    ExpectLinks(
        {
            {R"(<a href="about.html">About</a>)", "local:about.html|About;"},
            {"<a href='about.html'>About</a>", "local:about.html|About;"},
            {"<a\r\nhref=about.html>About</a>", "local:about.html|About;"},
            {"<a class=x\nhref=y.html\r\n>Y</a>", "local:y.html|Y;"},
            {R"(<A HREF = "x.html" >X</A>)", "local:x.html|X;"},
            {"<a title=\"a>b\"\thReF=\t'a b\r\n.html' href=\"2nd.html\">A</a>",
             "local:a b.html|A;"},
            // As written: not decoded, not trimmed.
            {R"(<a href="a.html?x=1&amp;y=2">e</a>)", "local:a.html?x=1&amp;y=2|e;"},
            {R"(<a href=" #frag ">f</a><a href="../up/">u</a>)", "local: #frag |f;local:../up/|u;"},
            {R"(<a href="/rooted"></a><a href="page.html?x=1#s2">p)",
             "local:/rooted|" + kSupplied + ";local:page.html?x=1#s2|" + kSupplied + ";"},
            {R"(<area href=map.html alt="x">Region<p>)", "local:map.html|Region;"},
            {R"(<a href="">empty</a><a href><a href=>x</a><abbr title="t">)", "local:|empty;"},
            // Not between the pages; https is not even a link in the classic mode.
            {R"(<a href="mailto:x@y">m</a><a href="javascript:go(1);">j</a>)", ""},
            {R"(<a href="https://h/">s</a><a href="//host/x">n</a><a href="&#104;ttp:x">n</a>)",
             ""},
            // Both, in page order, each with its own name.
            {both, "local:/rel|r;http://later/x|y;"},
            {R"(<a id="http://h/" href="rel.html">n</a>)", "http://h/|n;local:rel.html|n;"},
            // The tag must end in the segment's first piece.
            {"<a href=\"x.html\" title='>", ""},
            {"<a" + std::string(999, ' ') + R"(href="x.html">x</a>)", ""},
        },
        CUrlExtractor::ELinks::Classic, ELocal::Include);
    // Line 3 with CR LF line ends; an empty value is where its closing quote is.
    const std::string page = "l1\r\nl2\r\n<p><a href=\"about.html\">A</a> <a\r\nhref=''>B</a>";
    for (std::size_t block : {page.size(), std::size_t{1}, std::size_t{3}})
        EXPECT_EQ(
            Extract(
                page, [block] { return block; }, CUrlExtractor::ELinks::Classic, ELocal::Include),
            (LinkList{{"about.html", "A", 3, 13, true}, {"", "B", 4, 7, true}}))
            << block;
}

TEST(UrlExtractorTest, LongSegmentsAreSearchedIn999BytePieces) {
    const std::string anchor = R"( href="http://h/">x</a>)"; // 23 bytes
    auto segmentWithLinkAt = [&](std::size_t offset) {
        return "<a" + std::string(offset, ' ') + anchor + std::string(2000, '.');
    };
    // Whole inside the first piece: found.
    EXPECT_EQ(Extract(segmentWithLinkAt(999 - 23)), (LinkList{{"http://h/", "x", 1, 986}}));
    // "</a" is cut by the piece's end: the bare "<" still closes the name.
    EXPECT_EQ(Extract(segmentWithLinkAt(999 - 21)), (LinkList{{"http://h/", "x", 1, 988}}));
    // Not even the "<" is left in the first piece: nothing.
    EXPECT_EQ(Extract(segmentWithLinkAt(999 - 19)).size(), 0u);
    // Its closing quote falls into the second piece: nothing.
    EXPECT_EQ(Extract(segmentWithLinkAt(999 - 16)).size(), 0u);
    // Starting exactly at the second piece's first byte: not taken.
    EXPECT_EQ(Extract("<a" + std::string(999, ' ') + R"(http://h/">x</a>)").size(), 0u);
    // One byte later: a link of the second piece.
    EXPECT_EQ(Extract("<a" + std::string(1000, ' ') + R"(http://h/">x</a>)"),
              (LinkList{{"http://h/", "x", 1, 1003}}));
    // Line breaks do not count towards the piece length.
    std::string broken = "<a";
    for (int i = 0; i < 999 - 23; ++i)
        broken += " \r\n";
    EXPECT_EQ(Extract(broken + anchor).size(), 1u);
    // Each piece yields its own link.
    std::string twoPieces = "<a" + std::string(990 - 23, ' ') + anchor + std::string(9, ' ') +
                            std::string(10, ' ') + R"(http://second/">y<)";
    EXPECT_EQ(Extract(twoPieces),
              (LinkList{{"http://h/", "x", 1, 977}, {"http://second/", "y", 1, 1012}}));
}

// Random pages built from the pieces that matter, cut into blocks at random.
std::string RandomPage(std::mt19937& rng, std::size_t parts) {
    static const Texts kParts = [] {
        Texts list;
        std::string all =
            "<a|<A|<|a|A|http://|HTTP://|ftp://|Ftp://|https://|\"|>|</a|</A|</|\r|\n|"
            "\r\n| |\t|x|h/p|:|//|<a href=\"http://host/path\">name</a>|href=|HREF = |'|#s|"
            "a.html|<a href='up/'>u</a>";
        for (std::size_t at = 0, bar; at <= all.size(); at = bar + 1) {
            bar = std::min(all.find('|', at), all.size());
            list.push_back(all.substr(at, bar - at));
        }
        list.push_back(std::string(300, 'z'));
        return list;
    }();
    std::string page;
    std::uniform_int_distribution<std::size_t> pick(0, kParts.size() - 1);
    for (std::size_t i = 0; i < parts; ++i)
        page += kParts[pick(rng)];
    return page;
}

TEST(UrlExtractorTest, BlockBoundariesAndArbitraryBytesDoNotChangeTheRules) {
    std::mt19937 rng(20261206);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::size_t> block(1, 40);
    for (int round = 0; round < 300; ++round) {
        std::string page = RandomPage(rng, 40 + static_cast<std::size_t>(round) * 3);
        if (round % 2 == 1) { // arbitrary bytes, NULs among them
            for (int i = 0; i < 3000; ++i)
                page += static_cast<char>(byte(rng));
            page.insert(page.size() / 2, std::string("\0\0<a\0", 5));
        }
        const LinkList links = Extract(page);
        ASSERT_EQ(links, Extract(page, [&] { return block(rng); })) << "round " << round;
        // The links between the pages come on top of the others, and never change them.
        const auto include = [&](const std::function<std::size_t()>& blockSize) {
            return Extract(page, blockSize, CUrlExtractor::ELinks::Classic, ELocal::Include);
        };
        LinkList all = include({});
        ASSERT_EQ(all, include([&] { return block(rng); })) << "round " << round;
        for (const SFoundLink& link : all)
            EXPECT_TRUE(link.url.find_first_of("\r\n") == std::string::npos &&
                        (!link.bLocal || LocalHref::IsLocal(link.url)))
                << link.url;
        std::erase_if(all, [](const SFoundLink& link) { return link.bLocal; });
        ASSERT_EQ(all, links) << "round " << round;
        for (const auto& [url, name, line, column, bLocal] : links) {
            EXPECT_LE(line, 1 + std::count(page.begin(), page.end(), '\n')) << url;
            EXPECT_GE(column, 1) << url;
            const char first = static_cast<char>(std::toupper(static_cast<unsigned char>(url[0])));
            EXPECT_TRUE(url.size() >= 6 && (first == 'H' || first == 'F')) << url;
            EXPECT_LE(url.size(), CUrlExtractor::kPieceSize);
            EXPECT_EQ(url.find_first_of("\r\n\""), std::string::npos);
            EXPECT_EQ(name.find_first_of("\r\n\t"), std::string::npos);
            EXPECT_FALSE(bLocal) << url;
        }
    }
}

TEST(UrlExtractorTest, ReadsRegularFilesOnlyAndKeepsWhatTheListsHeld) {
    CTempDir dir;
    WriteFile(dir / "page.htm",
              "<a href=\"http://h/\xe9\">caf\xe9</a><A HREF=\"http://end/\"></A>");
    LinkList links{{"kept", "kept", 9}};
    ASSERT_TRUE(CUrlExtractor::ExtractUrls(dir / "page.htm", links));
    EXPECT_EQ(links, (LinkList{{"kept", "kept", 9},
                               {"http://h/\xe9", "caf\xe9", 1, 10},
                               {"http://end/", kSupplied, 1, 39}}));
    MakeDir(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    for (const std::string& path : {dir / "missing.htm", dir / "folder", dir / "pipe"})
        EXPECT_FALSE(CUrlExtractor::ExtractUrls(path, links)) << path; // at once
    EXPECT_EQ(links.size(), 3u);
}

TEST(UrlExtractorTest, HostAndPathOfALink) {
    const int http = CUrlExtractor::kSchemeHttp, ftp = CUrlExtractor::kSchemeFtp;
    const std::tuple<const char*, int, const char*, const char*> cases[] = {
        {"http://h", http, "h", "/"},
        {"http://", http, "", ""},
        {"http:/", http, "", ""},
        {"http://user:pw@h/x", http, "user", "/x"},
        {"http://h?q#f", http, "h?q#f", "/"},
        {"HTTP://H/#", http, "H", "/"},
        {"ftp://files.example/pub/", ftp, "files.example", "/pub/"},
        {"ftp://", ftp, "", ""},
        {"ftp://f", ftp, "f", "/"}};
    for (const auto& [url, scheme, host, path] : cases) {
        EXPECT_EQ(CUrlExtractor::GetUrlHost(url, scheme), host) << url;
        EXPECT_EQ(CUrlExtractor::GetUrlPath(url, scheme), path) << url;
    }
    EXPECT_EQ(CUrlExtractor::SchemeOf("http://h", ftp), http);
    EXPECT_EQ(CUrlExtractor::SchemeOf("FTP://h", http), ftp);
    EXPECT_EQ(CUrlExtractor::SchemeOf("gopher://h", ftp), ftp);
}

} // namespace
