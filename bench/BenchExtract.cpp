// SPDX-License-Identifier: GPL-3.0-or-later
// Link extraction speed: from a file, from memory, and a bare memchr scan of the
// same bytes for comparison.
//
//   linkvet-bench-extract PAGE EXPECTED_LINKS

#include "BenchUtil.h"
#include "engine/CUrlExtractor.h"

#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

double MBps(std::size_t bytes, double seconds) {
    return static_cast<double>(bytes) / 1e6 / seconds;
}

std::size_t CountOpeners(std::string_view page) {
    std::size_t count = 0;
    const char* at = page.data();
    const char* end = at + page.size();
    while (const void* hit = std::memchr(at, '<', static_cast<std::size_t>(end - at))) {
        at = static_cast<const char*>(hit) + 1;
        ++count;
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PAGE EXPECTED_LINKS\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const std::size_t expected = bench::ParseCount(argv[2]);
    const double startRss = bench::PeakRssMiB();

    // From the file first, before the page is ever held whole in this process.
    LinkList fileLinks;
    double fileSeconds = bench::BestOf(bench::kRepetitions, [&] {
        fileLinks.clear();
        if (!CUrlExtractor::ExtractUrls(path, fileLinks))
            bench::Fail("cannot read " + path);
    });
    const double fileRss = bench::PeakRssMiB();

    std::string page(std::filesystem::file_size(path), '\0');
    std::ifstream(path, std::ios::binary)
        .read(page.data(), static_cast<std::streamsize>(page.size()));

    LinkList links;
    double memorySeconds = bench::BestOf(bench::kRepetitions, [&] {
        links.clear();
        CUrlExtractor::ExtractFromBytes(page, links);
    });
    const double memoryRss = bench::PeakRssMiB();

    std::size_t openers = 0;
    double scanSeconds = bench::BestOf(bench::kRepetitions, [&] { openers = CountOpeners(page); });

    if (links.size() != expected)
        bench::Fail("found " + std::to_string(links.size()) + " links, expected " +
                    std::to_string(expected));
    if (links != fileLinks)
        bench::Fail("reading from the file and from memory gave different links");

    std::printf("  page size:                    %.2f MB (%zu bytes)\n",
                static_cast<double>(page.size()) / 1e6, page.size());
    std::printf("  links found:                  %zu (as expected)\n", links.size());
    std::printf("  ExtractUrls (from file):      %8.1f MB/s  (best %.1f ms)\n",
                MBps(page.size(), fileSeconds), fileSeconds * 1e3);
    std::printf("  ExtractFromBytes (in memory): %8.1f MB/s  (best %.1f ms)\n",
                MBps(page.size(), memorySeconds), memorySeconds * 1e3);
    std::printf("  memchr scan for '<' (ref.):   %8.1f MB/s  (best %.1f ms, %zu found)\n",
                MBps(page.size(), scanSeconds), scanSeconds * 1e3, openers);
    std::printf("  peak RSS at start:            %8.1f MiB\n", startRss);
    std::printf("  peak RSS after file runs:     %8.1f MiB\n", fileRss);
    std::printf(
        "  peak RSS after memory runs:   %8.1f MiB  (the page in memory and both link lists)\n",
        memoryRss);
    return 0;
}
