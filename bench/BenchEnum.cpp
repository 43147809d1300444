// SPDX-License-Identifier: GPL-3.0-or-later
// Folder tree walking speed, with and without the HTML filter.
//
//   linkvet-bench-enum DIR EXPECTED_FILES EXPECTED_HTML_FILES

#include "BenchUtil.h"
#include "engine/CFileEnumerator.h"

namespace {

// The rate counts every file walked past, listed or filtered out.
void Measure(const std::string& root, bool htmlOnly, std::size_t inTree, std::size_t expected) {
    StringList files;
    double seconds = bench::BestOf(bench::kRepetitions, [&] {
        files.clear();
        CFileEnumerator::AddFilesInTree(files, root, htmlOnly);
    });
    if (files.size() != expected)
        bench::Fail("listed " + std::to_string(files.size()) + " files, expected " +
                    std::to_string(expected));
    std::printf("  AddFilesInTree, htmlOnly=%-5s  %9.0f files/s  (%zu listed, best %.2f ms)\n",
                htmlOnly ? "true" : "false", static_cast<double>(inTree) / seconds, files.size(),
                seconds * 1e3);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DIR EXPECTED_FILES EXPECTED_HTML_FILES\n", argv[0]);
        return 2;
    }
    const double startRss = bench::PeakRssMiB();
    const std::size_t files = bench::ParseCount(argv[2]);
    Measure(argv[1], false, files, files);
    Measure(argv[1], true, files, bench::ParseCount(argv[3]));
    std::printf("  peak RSS at start:              %9.1f MiB\n", startRss);
    std::printf("  peak RSS after the walks:       %9.1f MiB\n", bench::PeakRssMiB());
    return 0;
}
