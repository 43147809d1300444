// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the inputs of the benchmarks.
//
//   linkvet-bench-gen page FILE BYTES   a page of at least BYTES bytes; prints the
//                                       number of links the extractor must find
//   linkvet-bench-gen tree DIR FILES    a folder tree of FILES files; prints the
//                                       file count and the count of HTML-like ones
//   linkvet-bench-gen links FILE BYTES  a page of at least BYTES bytes that is
//                                       nearly all links; prints their number

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

class PageWriter {
public:
    std::size_t Write(const std::string& path, std::size_t minBytes) {
        for (const char* line :
             {"<!DOCTYPE html>", "<html lang=\"en\">", "<head>", "<meta charset=\"utf-8\">",
              "<title>Link collection</title>",
              "<link rel=\"stylesheet\" href=\"http://static.example.com/site.css\">", "</head>",
              "<body>", "<h1>Link collection</h1>"})
            Line(line);
        for (unsigned n = 0; m_page.size() < minBytes; ++n)
            Record(std::to_string(n));
        Line("</body>");
        Line("</html>");
        std::ofstream out(path, std::ios::binary);
        out.write(m_page.data(), static_cast<std::streamsize>(m_page.size()));
        if (!out.flush())
            std::exit(1);
        return m_expected;
    }

private:
    unsigned Pick(unsigned range) { return static_cast<unsigned>(m_rng() % range); }

    // Most lines end in LF, about one in four in CRLF.
    void Line(std::string_view text) {
        m_page.append(text);
        m_page.append(Pick(4) == 0 ? "\r\n" : "\n");
    }

    // Plain prose of about `bytes` bytes over several lines, free of "://" and of
    // anything that opens an anchor segment.
    void Prose(std::size_t bytes) {
        static constexpr std::string_view kWords[] = {
            "the",    "archive", "holds",   "weekly", "reports", "from",  "every",
            "server", "checked", "against", "its",    "mirror",  "notes", "on",
            "broken", "pages",   "and",     "moved",  "folders", "were",  "kept"};
        std::string line;
        for (std::size_t written = 0; written < bytes;) {
            std::string_view word = kWords[Pick(std::size(kWords))];
            line.append(word).append(1, ' ');
            written += word.size() + 1;
            if (line.size() > 70) {
                Line(line);
                line.clear();
            }
        }
        Line(line);
    }

    // One piece of markup. Only absolute http:// and ftp:// anchors count: an
    // https:// or relative link gives the extractor nothing to find, and an
    // "<abbr" inside anchor text opens a new segment before the closer.
    void Record(const std::string& n) {
        const std::string host = "www" + std::to_string(Pick(500)) + ".example.com";
        switch (Pick(16)) {
        case 0:
        case 1:
        case 2:
        case 3:
            Line("<p>See <a href=\"http://" + host + "/docs/" + n + "/page.html\">Example page " +
                 n + "</a> for details.</p>");
            ++m_expected;
            break;
        case 4:
            Line("<LI><A HREF=\"HTTP://MIRROR" + n + ".EXAMPLE.ORG/Files/\">Mirror <B>" + n +
                 "</B></A>");
            ++m_expected;
            break;
        case 5:
            Line("<li><a href=\"ftp://ftp.example.net/pub/file" + n + ".tar.gz\">file" + n +
                 ".tar.gz</a></li>");
            ++m_expected;
            break;
        case 6:
            Line("<li><a href=\"https://" + host + "/login?next=" + n + "\">Sign in</a></li>");
            break;
        case 7:
        case 8:
            Line("<a href=\"../docs/page" + n + ".htm\"><img src=\"img/icon.png\" alt=\"\"> Docs " +
                 n + "</a>");
            break;
        case 9:
            Line("<a href=\"http://" + host + "/news/" + n +
                 "\" class=\"story\"><span class=\"t\">Story <em>" + n + "</em></span></a>");
            ++m_expected;
            break;
        case 10: // a tag broken over lines
            Line("<a");
            Line("  href=\"http://split" + n + ".example.com/a/b\"");
            Line("  >Split anchor " + n + "</a>");
            ++m_expected;
            break;
        case 11: // a segment far longer than one search piece
            if (Pick(2) == 0) {
                Line("<h2><a href=\"http://" + host + "/long/" + n + "\">Long read</a></h2>");
                ++m_expected;
            } else {
                Line("<h2><a href=\"long/" + n + ".html\">Long read</a></h2>");
            }
            Line("<p>");
            Prose(1000 + Pick(2000));
            Line("</p>");
            break;
        case 12:
            Line("<p>The <abbr title=\"World Wide Web\">WWW</abbr> grew fast in year " + n +
                 ".</p>");
            break;
        case 13:
            Line("<div class=\"box\"><img src=\"/images/pic" + n +
                 ".jpg\" width=\"120\" height=\"80\" alt=\"picture\"></div>");
            break;
        case 14:
            Line("<a href=\"http://" + host +
                 "/about\">About <abbr title=\"HyperText\">HTML</abbr>" + "</a>");
            break;
        default:
            Line("<a href=\"http://" + host + "/empty/" + n + "\"></a>");
            ++m_expected;
            break;
        }
    }

    std::mt19937 m_rng{20240601u};
    std::string m_page;
    std::size_t m_expected = 0;
};

// Three levels of six sub-folders under the root (259 folders), the files spread
// evenly, extensions taken in turn.
void WriteTree(const fs::path& root, std::size_t fileCount) {
    std::vector<fs::path> folders{root};
    for (std::size_t i = 0; i < folders.size() && folders.size() < 259; ++i)
        for (int k = 0; k < 6; ++k)
            folders.push_back(folders[i] / ("dir" + std::to_string(k)));
    static constexpr const char* kExtensions[] = {".html", ".txt", ".htm", ".php", ".asp"};
    std::size_t html = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        fs::create_directories(folders[i]);
        std::size_t inFolder =
            fileCount / folders.size() + (i < fileCount % folders.size() ? 1 : 0);
        for (std::size_t k = 0; k < inFolder; ++k, ++n) {
            std::size_t ext = n % std::size(kExtensions);
            html += ext % 2 == 0 ? 1u : 0u;
            std::ofstream(folders[i] / ("file" + std::to_string(n) + kExtensions[ext]));
        }
    }
    std::printf("%zu %zu\n", n, html);
}

// A list of links and little else, written as it goes: every line is one link.
std::size_t WriteDenseLinks(const std::string& path, std::size_t minBytes) {
    std::ofstream out(path, std::ios::binary);
    std::size_t links = 0;
    std::string line;
    for (std::size_t written = 0; written < minBytes; written += line.size(), ++links) {
        const std::string n = std::to_string(links);
        line = links % 7 == 0
                   ? "<li><a href=\"ftp://ftp.example.net/pub/file" + n + ".tar.gz\"></a>\r\n"
                   : "<li><a href=\"http://www" + std::to_string(links % 997) +
                         ".example.com/docs/" + n + "/page.html\">Page " + n + "</a>\n";
        out << line;
    }
    if (!out.flush())
        std::exit(1);
    return links;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s page FILE BYTES | tree DIR FILES | links FILE BYTES\n",
                     argv[0]);
        return 2;
    }
    std::string_view what = argv[1];
    std::size_t amount = static_cast<std::size_t>(std::strtoull(argv[3], nullptr, 10));
    if (what == "page")
        std::printf("%zu\n", PageWriter().Write(argv[2], amount));
    else if (what == "tree")
        WriteTree(argv[2], amount);
    else if (what == "links")
        std::printf("%zu\n", WriteDenseLinks(argv[2], amount));
    else
        return 2;
    return 0;
}
