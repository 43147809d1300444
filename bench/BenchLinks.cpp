// SPDX-License-Identifier: GPL-3.0-or-later
// linkvet-bench-links CLI PAGE: runs `linkvet-cli links PAGE` with its output to
// /dev/null and prints its wall time, throughput and peak memory (ru_maxrss of
// the child). Fails only when the run itself fails.
#include "BenchUtil.h"

#include <filesystem>

int main(int argc, char** argv) {
    if (argc != 3)
        bench::Fail("usage: linkvet-bench-links CLI PAGE");
    const std::string page = argv[2];
    const bench::SRun run = bench::Run({argv[1], "links", page}, "/dev/null", "/dev/null");
    if (run.status != 0)
        bench::Fail("linkvet-cli links did not end with status 0");
    const double megabytes = static_cast<double>(std::filesystem::file_size(page)) / 1e6;
    std::printf("  %.0f MB page: %6.2f s (%5.1f MB/s), peak RSS %5.1f MiB (goal < 50)\n", megabytes,
                run.seconds, megabytes / run.seconds, run.peakMiB);
    return 0;
}
