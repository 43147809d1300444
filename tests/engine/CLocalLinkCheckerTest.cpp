// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CLocalLinkChecker.h"

#include "engine/LocalHref.h"
#include "engine/OutcomeCodes.h"
#include "engine/PageNames.h"
#include "support/TestUtil.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <gumbo.h>
#include <random>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned kFound = CLocalLinkChecker::kFound;
constexpr unsigned kNoFile = Outcome::kFileNotFound;
constexpr unsigned kNoAnchor = Outcome::kAnchorNotFound;

TEST(LocalHrefTest, ReferencesEscapesSchemesAndParts) {
    struct SCase {
        std::string_view written, decoded;
    };
    for (const SCase& c : std::initializer_list<SCase>{
             {"&#35;top&#x26;&#X3c;", "#top&<"},
             {"&#0;&#xD800;&#xDFFF;&#x110000;&#99999999999;",
              std::string_view("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD")},
             {"&#x1F600;&#233;", "\xF0\x9F\x98\x80\xC3\xA9"},
             {"&bogus;&amp&#;&#x;&#12a;&", "&bogus;&amp&#;&#x;&#12a;&"},
             {"a&amp;b&lt;&gt;&quot;&apos;&nbsp;&num;&quest;&percnt;&sol;&colon;&equals;&period;&"
              "lowbar;",
              "a&b<>\"'\xC2\xA0#?%/:=._"},
             {"&amp;amp;", "&amp;"},
         })
        EXPECT_EQ(LocalHref::DecodeReferences(c.written), c.decoded) << c.written;
    EXPECT_EQ(LocalHref::PercentDecoded("%41%2x%4%%42%ff%00"), std::string("A%2x%4%B\xFF\0", 10));
    for (const char* local :
         {"", "a.html", "#x", "?q", "a/b:c", "1a:b", "../x", "/x", " C", "a_b:c"})
        EXPECT_TRUE(LocalHref::IsLocal(local)) << local;
    for (const char* far :
         {"C:x", "mailto:", "//h", " \t//h", "a+b.c-d:x", "HTTP://x", "&#104;ttp://x",
          "javascript&colon;x", "&sol;/h", "java\tscr&#x0A;ipt:x"})
        EXPECT_FALSE(LocalHref::IsLocal(far)) << far;
    LocalHref::SParts parts = LocalHref::Split("a?b#c?d#e");
    EXPECT_EQ(parts.path, "a");
    EXPECT_EQ(parts.fragment, "c?d#e");
    EXPECT_TRUE(parts.bHasFragment);
    parts = LocalHref::Split("a#");
    EXPECT_TRUE(parts.bHasFragment && parts.fragment.empty());
    EXPECT_FALSE(LocalHref::Split("a?b").bHasFragment);
}

// The names a page offers, cut as the browser's tokenizer cuts the tags.
TEST(PageNamesTest, TagsCommentsAndRawTextAsTheTokenizerCutsThem) {
    struct SCase {
        std::string_view page;
        Texts names;
    };
    for (const SCase& c : std::initializer_list<SCase>{
             {"<p id=a><A NAME=b><p name=c><x-y Id='d' id=e><a id=f name=g>",
              {"a", "b", "d", "f", "g"}},
             {"<p title='>' id=\"a b\" ><p title=\"x\"id=c><p =id=x id=d>", {"a b", "c", "d"}},
             {"<!-- <p id=x> --><!--><p id=a><!---><p id=b><!-- --!><p id=c><!-- -- ><p id=x>",
              {"a", "b", "c"}},
             {"<!DOCTYPE html><?php id=x ?><p id=a></p id=x></ id=x><p id=b>", {"a", "b"}},
             {"<script><p id=x></scripts><p id=x></SCRIPT ><p id=a><title><a id=x></title><p id=b>",
              {"a", "b"}},
             {"<script><!--<SCRIPT></script><p id=x>--></script><p id=a><script><!--></script>"
              "<p id=b>",
              {"a", "b"}},
             {"<textarea id=a><p id=x></textarea/><style>/*</style*/</style><p id=b>", {"a", "b"}},
             {"<p id=a&amp;b><p id='&#35;c'><p id=&eacute;>", {"a&b", "#c", "&eacute;"}},
             {"<p id=a>< p id=x><p/id=b/><br id=c/><p id=d",
              {"a", "b/", "c/"}}, // "/" ends no unquoted value
             {"<p id=a><plaintext><p id=x>", {"a"}},
             {"<p id=\"a\n\">x<p id='unterminated>", {"a\n"}},
             {"<p id>x<p id=\"\">", {"", ""}},
         }) {
        Texts names;
        PageNames::ForEach(c.page, [&](std::string_view name) { names.emplace_back(name); });
        EXPECT_EQ(names, c.names) << c.page;
    }
}

// The names the Gumbo HTML5 parser's tree holds: the second way of finding them.
Texts TreeNames(const std::string& page) {
    GumboOutput* pOutput =
        gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
    Texts names;
    std::vector<const GumboNode*> pending{pOutput->document};
    while (!pending.empty()) {
        const GumboNode* pNode = pending.back();
        pending.pop_back();
        const GumboVector* pChildren = &pNode->v.document.children;
        if (pNode->type == GUMBO_NODE_ELEMENT || pNode->type == GUMBO_NODE_TEMPLATE) {
            const GumboElement& element = pNode->v.element;
            if (const GumboAttribute* pId = gumbo_get_attribute(&element.attributes, "id"))
                names.emplace_back(pId->value);
            const GumboAttribute* pName = gumbo_get_attribute(&element.attributes, "name");
            if (pName && element.tag == GUMBO_TAG_A)
                names.emplace_back(pName->value);
            pChildren = &element.children;
        } else if (pNode->type != GUMBO_NODE_DOCUMENT) {
            continue;
        }
        for (unsigned i = 0; i < pChildren->length; ++i)
            pending.push_back(static_cast<const GumboNode*>(pChildren->data[i]));
    }
    gumbo_destroy_output(&kGumboDefaultOptions, pOutput);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

// Random tag soup from the tags a tree keeps wherever they stand, and the
// references PageNames decodes: both ways must find the same names.
TEST(PageNamesTest, TagSoupNamesWhatAnHtml5ParsersTreeNames) {
    static const char* const kNoise[] = {
        "</p>",      "</a>",    "</b>",     "</div>",     "</li>",       "<script>",
        "</script>", "<style>", "</style>", "<textarea>", "</textarea>", "<title>",
        "</title >", "<!--",    "-->",      "--!>",       "<!x>",        "<?x>",
        "</>",       "</ x>",   "<",        ">",          "/",           "\"",
        "'",         "=",       " ",        "\n",         "text",        "<!-->"};
    static const char* const kTags[] = {"p", "div", "span", "a",   "A",
                                        "b", "em",  "li",   "img", "section"};
    static const char* const kAttributes[] = {"id", "ID", "name", "NAME", "class", "=x"};
    static const char* const kValues[] = {"",        "=x1",   "=x2",      "= \"x 3\"", "='x&amp;4'",
                                          "=&#65;b", "=\"\"", "=a&lt;b>", "='>'"};
    static const char* const kBetween[] = {" ", "\n", "/", "\t", ""};
    std::mt19937 random(20261207);
    const auto any = [&](const auto& list) {
        return list[std::uniform_int_distribution<std::size_t>(0, std::size(list) - 1)(random)];
    };
    std::size_t found = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string page;
        for (int i = 0; i < 30; ++i) {
            if (random() % 4 == 0) {
                page += any(kNoise);
                continue;
            }
            page.append("<").append(any(kTags));
            for (std::size_t n = random() % 4; n > 0; --n)
                page.append(any(kBetween) + std::string(" "))
                    .append(any(kAttributes))
                    .append(any(kValues));
            page.append(any(kBetween)).append(">");
        }
        Texts names;
        PageNames::ForEach(page, [&](std::string_view name) { names.emplace_back(name); });
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
        ASSERT_EQ(names, TreeNames(page)) << page;
        found += names.size();
    }
    EXPECT_GT(found, 2000u); // the soup is not all text
}

class LocalLinkCheckerTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(m_dir / "site/index.html",
                  "<h1 id=top>T</h1><a name=anchor></a><A NAME=upper></A><p name=pname>"
                  "<div ID=Case></div><a href='sub/b.html#s'>");
        WriteFile(m_dir / "site/a.html", "<p id=s><p id=Sec>");
        WriteFile(m_dir / "site/a b.html", "<p id='x y'>");
        WriteFile(m_dir / "site/x.html", "<p id=s>");
        WriteFile(m_dir / "site/\xFF.html", "<p id=\xFF>");
        WriteFile(m_dir / "site/sub/b.html", "<p id=here>");
        WriteFile(m_dir / "site/sub/deep/c.html", "");
        WriteFile(m_dir / "site/withindex/index.html", "<p id=w>");
        WriteFile(m_dir / "site/withindex/index.htm", "<p id=h>");
        WriteFile(m_dir / "site/onlyhtm/index.htm", "<p id=h>");
        WriteFile(m_dir / "site/noindex/other.html", "");
        MakeDir(m_dir / "site/indexdir/index.html");
        EXPECT_EQ(::symlink("loop", (m_dir / "site/loop").c_str()), 0);
        EXPECT_EQ(::symlink("a.html", (m_dir / "site/alias.html").c_str()), 0);
        EXPECT_EQ(::mkfifo((m_dir / "site/fifo").c_str(), 0600), 0);
    }

    CTempDir m_dir;
};

TEST_F(LocalLinkCheckerTest, TargetsAndFragmentsResolveAsAUrlAndAreFoundOnDisk) {
    const std::string site = m_dir / "site", sub = m_dir / "site/sub/b.html";
    const std::string index = m_dir / "site/index.html";
    // The same page named from the working folder, with a leading "..".
    std::string fromHere;
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    for (const char c : std::string_view(cwd))
        fromHere += c == '/' ? "../" : "";
    fromHere += sub.substr(1);
    struct SCase {
        std::string page, written;
        unsigned outcome;
        std::string_view root = "-"; // "-": the site
    };
    const std::vector<SCase> cases{
        {sub, "deep/c.html", kFound},
        {sub, "./deep/../../a.html", kFound},
        {sub, "../../site/x.html#s", kFound},
        {sub, "../a.html/", kNoFile},
        {sub, "deep/..", kNoFile}, // the folder sub/ has no index
        {sub, "/a.html", kFound},
        {sub, "/../../a.html#Sec", kFound}, // ".." stops at the root
        {sub, "/a.html", kNoFile, ""},      // no root: the page's folder
        {sub, "/b.html#here", kFound, ""},
        {sub, "/", kFound},
        {fromHere, "../a.html#s", kFound},
        {fromHere, "../../../../../../../../../../../../../../a.html", kNoFile},
        {index, "withindex", kFound},
        {index, "withindex/#w", kFound}, // index.html before index.htm
        {index, "withindex/#h", kNoAnchor},
        {index, "onlyhtm#h", kFound},
        {index, "noindex/", kNoFile},
        {index, "indexdir", kNoFile}, // its index.html is a folder, and there is no .htm
        {index, "a.html?x=1#s", kFound},
        {index, "a.html?x#nope", kNoAnchor},
        {index, "a.html#", kFound},
        {index, "a.html#S", kNoAnchor},
        {index, " \ta.html#Sec\n", kFound},
        {index, "a%20b.html#x%20y", kFound},
        {index, "a b.html#x y", kFound},
        {index, "x.html?a=1&amp;b=2#s", kFound},
        {index, "&#35;top", kFound},
        {index, "?q", kFound},
        {index, "#anchor", kFound},
        {index, "#upper", kFound},
        {index, "#pname", kNoAnchor}, // a name counts on "a" only
        {index, "#Case", kFound},
        {index, "#case", kNoAnchor},
        {index, "nope.html", kNoFile},
        {index, "loop", kNoFile},
        {index, "loop#x", kNoFile},
        {index, "fifo", kNoFile},
        {index, "fifo#x", kNoFile},
        {index, "/proc/kmsg#x", kNoAnchor, "/"}, // never read: a read there waits or takes
        {index, "%FF.html#%ff", kFound},
        {index, "\xFF.html#\xFF", kFound},
        {index, "a.html%00.html", kNoFile},
        {index, std::string(5000, 'x') + ".html", kNoFile},
        {m_dir / "site/nothere.html", "#top", kNoFile},
    };
    // Any open of the named pipe, even one that would not wait, is seen.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, (site + "/fifo").c_str(), IN_OPEN), 0);
    CLocalLinkChecker checker;
    for (const SCase& c : cases) {
        checker.SetRoot(c.root == "-" ? site : std::string(c.root));
        EXPECT_EQ(checker.Check(c.page, c.written), c.outcome) << c.page << " -> " << c.written;
    }
    char event[4096];
    EXPECT_EQ(::read(watch, event, sizeof event), -1);
    ::close(watch);
}

TEST_F(LocalLinkCheckerTest, APageIsReadOnceWhateverNamesItUntilReset) {
    CLocalLinkChecker checker(m_dir / "site");
    const std::string page = m_dir / "site/index.html";
    EXPECT_EQ(checker.Check(page, "a.html"), kFound);
    WriteFile(m_dir / "site/a.html", "<p id=late>"); // not read yet: no fragment named it
    EXPECT_EQ(checker.Check(page, "a.html#late"), kFound);
    WriteFile(m_dir / "site/a.html", "<p id=later>");
    for (const char* link : {"a.html#late", "alias.html#late", "./sub/../a.html#late"})
        EXPECT_EQ(checker.Check(page, link), kFound) << link;
    EXPECT_EQ(checker.Check(page, "alias.html#later"), kNoAnchor);
    checker.Reset();
    EXPECT_EQ(checker.Check(page, "alias.html#later"), kFound);
    EXPECT_EQ(checker.Check(page, "a.html#late"), kNoAnchor);
}

TEST_F(LocalLinkCheckerTest, AHostilePageNestedDeepIsReadInLinearTime) {
    std::string page;
    for (int i = 0; i < 100000; ++i)
        page += "<div><b><table><tr><td>";
    WriteFile(m_dir / "site/deep.html", page + "<p id=end>");
    CLocalLinkChecker checker;
    EXPECT_EQ(checker.Check(m_dir / "site/index.html", "deep.html#end"), kFound);
}

} // namespace
