// SPDX-License-Identifier: GPL-3.0-or-later
// linkvet-bench-local CLI WORKDIR: the links between the pages of a site of
// 10 000 pages (100 folders of 100), 50 links each: a tenth to missing files, a
// tenth with fragments (a quarter of those naming no element), the rest to
// pages of the same folder, of another one through "../" and from the root.
// Each fragment names a different page, so every page is read for its names.
//
// Runs `linkvet-cli check --all --recurse --local-links --root SITE SITE` and
// prints its links a second and peak RSS; then checks the same links through
// CLocalLinkChecker directly. Last, the figures that chose the page tokenizer:
// PageNames against the Gumbo HTML5 parser on the same pages (speed, the
// parser's heap per MB of page, and pages nested deep). Fails only when the
// count of broken links is wrong.
#include "BenchUtil.h"
#include "engine/CLocalLinkChecker.h"
#include "engine/PageNames.h"

#include <filesystem>
#include <fstream>
#include <gumbo.h>
#include <sys/stat.h>

namespace {

constexpr int kFolders = 100, kPagesPerFolder = 100, kIds = 20;
constexpr std::size_t kLinksPerPage = 50;

struct SPage {
    std::string path;
    std::vector<std::string> hrefs;
};

std::string Name(const char* format, int n) {
    char text[16];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

// Writes the site; returns its pages and links, and in `broken` how many of them are.
std::vector<SPage> WriteSite(const std::string& site, std::size_t& broken) {
    std::filesystem::remove_all(site);
    std::vector<SPage> pages;
    broken = 0;
    for (int g = 0; g < kFolders * kPagesPerFolder; ++g) {
        const int f = g / kPagesPerFolder, p = g % kPagesPerFolder;
        const std::string folder = site + "/" + Name("d%03d", f);
        std::filesystem::create_directories(folder);
        SPage page{folder + "/" + Name("p%03d.html", p), {}};
        std::ofstream html(page.path);
        html << "<!DOCTYPE html>\n<html><head><title>Page " << g << "</title></head><body>\n";
        for (int k = 0; k < static_cast<int>(kLinksPerPage); ++k) {
            const int other = (g * 37 + k * 101) % (kFolders * kPagesPerFolder);
            const std::string otherFolder = Name("d%03d", other / kPagesPerFolder);
            const std::string otherPage = Name("p%03d.html", other % kPagesPerFolder);
            std::string href;
            if (k % 10 == 0) {
                href = "missing" + std::to_string(k) + ".html";
                ++broken;
            } else if (k % 10 == 1) {
                const bool bMissing = (g + k) % 4 == 0;
                href = "/" + otherFolder + "/" + otherPage + "#" + (bMissing ? "nope" : "i") +
                       std::to_string(k % kIds);
                broken += bMissing ? 1 : 0;
            } else if (k % 4 == 0) {
                href = Name("p%03d.html", (p + k) % kPagesPerFolder);
            } else if (k % 4 == 1) {
                href = "../" + otherFolder + "/" + otherPage;
            } else if (k % 4 == 2) {
                href = "/" + otherFolder + "/" + otherPage;
            } else {
                href =
                    "./" + otherPage + "?from=" + std::to_string(g) + "&amp;k=" + std::to_string(k);
            }
            if (k % (static_cast<int>(kLinksPerPage) / kIds) == 0)
                html << "<h2 id=\"i" << k / (static_cast<int>(kLinksPerPage) / kIds)
                     << "\">Section</h2>\n";
            html << "<p>Some words about the next link, <a href=\"" << href << "\">link " << k
                 << "</a>.</p>\n";
            page.hrefs.push_back(std::move(href));
        }
        html << "</body></html>\n";
        pages.push_back(std::move(page));
    }
    return pages;
}

void RunCli(const std::string& cli, const std::string& site, const std::string& work,
            std::size_t links, std::size_t broken) {
    const bench::SRun run =
        bench::Run({cli, "check", "--all", "--recurse", "--local-links", "--root", site, site},
                   work + "/local-out", work + "/local-err");
    std::ifstream err(work + "/local-err");
    const std::string problem((std::istreambuf_iterator<char>(err)), {});
    if (run.status == 2 && problem.find("local-links") != std::string::npos) {
        std::printf("  linkvet-cli: no --local-links option yet, skipped\n");
        return;
    }
    std::ifstream rows(work + "/local-out");
    std::size_t listed = 0;
    for (std::string line; std::getline(rows, line);)
        ++listed;
    if (run.status != 1 || listed != broken)
        bench::Fail("linkvet-cli listed " + std::to_string(listed) + " rows (" +
                    std::to_string(broken) + " broken), exit status " + std::to_string(run.status));
    std::printf("  linkvet-cli: %zu links in %.2f s, %.0f links/s (goal >= 200000), peak RSS "
                "%.1f MiB\n",
                links, run.seconds, static_cast<double>(links) / run.seconds, run.peakMiB);
}

void RunChecker(const std::string& site, const std::vector<SPage>& pages, std::size_t links,
                std::size_t broken) {
    std::size_t found = 0;
    auto checkAll = [&](CLocalLinkChecker& checker) {
        found = 0;
        for (const SPage& page : pages)
            for (const std::string& href : page.hrefs)
                found += checker.Check(page.path, href) == CLocalLinkChecker::kFound ? 1u : 0u;
    };
    const double before = bench::PeakRssMiB();
    const double fresh = bench::BestOf(3, [&] {
        CLocalLinkChecker checker(site);
        checkAll(checker);
    });
    if (links - found != broken)
        bench::Fail("the checker found " + std::to_string(links - found) + " broken links, not " +
                    std::to_string(broken));
    CLocalLinkChecker checker(site);
    checkAll(checker);
    const double known = bench::BestOf(3, [&] { checkAll(checker); });
    std::printf("  CLocalLinkChecker: %.0f links/s reading every page once, %.0f links/s "
                "(%.2f us a link) with the names known; peak RSS %.1f MiB (%.1f before)\n",
                static_cast<double>(links) / fresh, static_cast<double>(links) / known,
                known * 1e6 / static_cast<double>(links), bench::PeakRssMiB(), before);
}

std::size_t g_heap = 0, g_heapPeak = 0;

void* CountedAlloc(void*, std::size_t size) {
    auto* block = static_cast<std::size_t*>(std::malloc(size + 16));
    *block = size;
    g_heapPeak = std::max(g_heapPeak, g_heap += size);
    return reinterpret_cast<char*>(block) + 16;
}

void CountedFree(void*, void* pointer) {
    if (!pointer)
        return;
    auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(pointer) - 16);
    g_heap -= *block;
    std::free(block);
}

void CompareParsers(const std::string& label, const std::string& text, int reps) {
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = CountedAlloc;
    options.deallocator = CountedFree;
    options.max_errors = 0;
    g_heapPeak = 0;
    const double gumbo = bench::BestOf(reps, [&] {
        gumbo_destroy_output(&options,
                             gumbo_parse_with_options(&options, text.data(), text.size()));
    });
    std::size_t names = 0;
    const double tokens =
        bench::BestOf(reps, [&] { PageNames::ForEach(text, [&](std::string_view) { ++names; }); });
    const double megabytes = static_cast<double>(text.size()) / 1e6;
    std::printf("  %-34s Gumbo %7.3f s (%6.1f MB/s, heap %5.1f MB a MB), PageNames %7.4f s "
                "(%7.1f MB/s)\n",
                label.c_str(), gumbo, megabytes / gumbo,
                static_cast<double>(g_heapPeak) / static_cast<double>(text.size()), tokens,
                megabytes / tokens);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        bench::Fail("usage: linkvet-bench-local CLI WORKDIR");
    const std::string cli = argv[1], work = argv[2], site = work + "/local-site";
    std::size_t broken = 0;
    const std::vector<SPage> pages = WriteSite(site, broken);
    const std::size_t links = pages.size() * kLinksPerPage;
    RunCli(cli, site, work, links, broken);
    RunChecker(site, pages, links, broken);

    std::ifstream first(pages.front().path);
    const std::string typical((std::istreambuf_iterator<char>(first)), {});
    std::string big;
    for (std::size_t i = 0; big.size() < 20000000; ++i) {
        std::ifstream page(pages[i % pages.size()].path);
        big.append(std::istreambuf_iterator<char>(page), {});
    }
    CompareParsers("a page of " + std::to_string(typical.size()) + " bytes:", typical, 200);
    CompareParsers("20 MB of such pages:", big, 1);
    for (const int depth : {10000, 20000, 40000}) {
        std::string nested;
        for (int i = 0; i < depth; ++i)
            nested += "<div>";
        CompareParsers(std::to_string(depth) + " nested <div>:", nested, 1);
    }
    std::filesystem::remove_all(site);
    return 0;
}
