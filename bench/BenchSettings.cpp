// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing speed of the old-style settings import file, on inputs far larger than
// the import accepts, where a parser that looks for a line's end again for each
// 519-byte piece takes time growing with the square of the line's length.
//
//   linkvet-bench-settings [MIB]      (default 32)

#include "BenchUtil.h"
#include "settings/CIniImport.h"

namespace {

struct SInput {
    const char* what;
    std::string bytes;
    std::size_t expectedEntries;
};

} // namespace

int main(int argc, char** argv) {
    const std::size_t size = (argc > 1 ? bench::ParseCount(argv[1]) : 32) << 20;
    const std::string header = "[S]\n";
    std::string crOnly = header;
    while (crOnly.size() < size)
        crOnly += "a=1\r";
    const std::size_t pieces =
        (crOnly.size() - header.size() + CIniImport::kPieceSize - 1) / CIniImport::kPieceSize;
    const SInput inputs[] = {
        // Only the first piece of the line holds an "=".
        {"one line, no line feed", header + "k=" + std::string(size - header.size() - 2, 'v'), 1},
        // Every piece of the one line holds an "=".
        {"lines ended by CR alone", crOnly, pieces},
    };
    std::printf("   goal: under 1 s for each\n");
    for (const SInput& input : inputs) {
        std::size_t entries = 0;
        const double seconds = bench::BestOf(bench::kRepetitions, [&] {
            entries = 0;
            CIniImport::Parse(input.bytes, [&](std::string_view, std::string_view,
                                               std::string_view) { ++entries; });
        });
        if (entries != input.expectedEntries)
            bench::Fail(std::string(input.what) + ": " + std::to_string(entries) +
                        " entries, expected " + std::to_string(input.expectedEntries));
        std::printf("   %-24s %6.1f MiB  %8.4f s  %8.1f MB/s\n", input.what,
                    static_cast<double>(input.bytes.size()) / (1 << 20), seconds,
                    static_cast<double>(input.bytes.size()) / 1e6 / seconds);
    }
    std::printf("   peak RSS %.1f MiB\n", bench::PeakRssMiB());
    return 0;
}
