// SPDX-License-Identifier: GPL-3.0-or-later
// Repairs a generated 100 MB page with 1 000 bad URLs, 1 000 pages with 10 bad
// URLs each, and a 100 MB page on one line with 10 000 links and 100 bad ones,
// through CRepairEngine::RepairLinks, and prints the throughput and the peak
// memory before and after, which shows whether the engine streams a page or
// holds it (a one-line page is held as its one line). Every run starts from
// freshly written pages (a repaired page is not repaired again), and includes
// the backup copy and the flushes. Last, the 1 000 repaired pages are put back
// from their backups through CRestoreEngine::RestorePage.
//
// First, before the others raise the peak, it previews the repair of the 1 000
// pages (CRepairEngine::PreviewLinks): the time until every page's diff is
// ready, and the peak memory then.
//
//   linkvet-bench-repair [PAGE_MB] [PAGES]      (default 100 1000)

#include "BenchUtil.h"
#include "engine/ISessionHost.h"
#include "repair/CRepairEngine.h"
#include "repair/CRestoreEngine.h"
#include "results/CResultsModel.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

class CSilentHost : public ISessionHost {
public:
    void ShowMessage(const std::string& text) override { bench::Fail(text); }
    bool AskYesNo(const std::string&) override { return false; }
    void AppendLog(const std::string&) override {}
    void AddResultRow(const SResultRow&) override {}
};

// Writes a page of about `bytes` bytes with `badUrls` bad links spread evenly,
// and lists a row for each; returns the page's size.
std::size_t WritePage(const std::string& path, std::size_t bytes, int badUrls,
                      CResultsModel& rows) {
    std::ofstream out(path, std::ios::binary);
    const std::size_t lineCount = bytes / 64;
    const std::size_t every = lineCount / static_cast<std::size_t>(badUrls);
    std::size_t written = 0;
    std::string line;
    for (std::size_t i = 0; i < lineCount; ++i) {
        const std::string n = std::to_string(i);
        if (i % every == every / 2 && i / every < static_cast<std::size_t>(badUrls)) {
            const std::string url = "http://bad.example/gone/" + n + ".html";
            SResultRow row{url, "HTTP Code 404 Not Found", "Gone " + n, path};
            row.line = static_cast<int>(i + 1);
            rows.AddRow(row);
            line = "<li><a href=\"" + url + "\">Gone " + n + "</a>\r\n";
        } else {
            line = "<li><a href=\"http://www.example.com/page/" + n + ".html\">Page</a>\r\n";
        }
        out << line;
        written += line.size();
    }
    if (!out.flush())
        bench::Fail("the page was not written");
    return written;
}

// Writes a page of about `bytes` bytes on one line: `links` links with text
// between them, every `links / badUrls`-th of them bad, a row for each of those.
std::size_t WriteOneLinePage(const std::string& path, std::size_t bytes, int links, int badUrls,
                             CResultsModel& rows) {
    std::ofstream out(path, std::ios::binary);
    const std::string filler((bytes / static_cast<std::size_t>(links)) - 60, 't');
    std::size_t written = 0;
    for (int i = 0; i < links; ++i) {
        const bool bBad = i % (links / badUrls) == links / badUrls / 2;
        const std::string url =
            (bBad ? "http://bad.example/gone/" : "http://www.example.com/") + std::to_string(i);
        if (bBad) {
            SResultRow row{url, "HTTP Code 404 Not Found", "Gone", path};
            row.line = 1;
            rows.AddRow(row);
        }
        const std::string piece = "<a href=\"" + url + "\">L</a> " + filler;
        out << piece;
        written += piece.size();
    }
    if (!out.flush())
        bench::Fail("the page was not written");
    return written;
}

struct SRun {
    double seconds = 1e300;
    std::size_t bytes = 0;
};

// Writes `pages` pages of `pageBytes` bytes each, repairs them, checks the
// result; the fastest of `reps` runs.
SRun RepairRuns(const std::string& folder, int pages, std::size_t pageBytes, int badUrls,
                int reps) {
    SRun best;
    CSilentHost host;
    for (int rep = 0; rep < reps; ++rep) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        CResultsModel rows;
        std::size_t bytes = 0;
        for (int page = 0; page < pages; ++page)
            bytes += WritePage(folder + "/page" + std::to_string(page) + ".html", pageBytes,
                               badUrls, rows);
        CRepairEngine engine(rows, host);
        const auto start = std::chrono::steady_clock::now();
        const CRepairEngine::SOutcome outcome =
            engine.RepairLinks(CRepairEngine::ERepairType::Comment);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        // Each repaired line gains "<!--" and "-->".
        const std::size_t expected = bytes + static_cast<std::size_t>(pages * badUrls) * 7;
        std::size_t repaired = 0;
        for (int page = 0; page < pages; ++page)
            repaired +=
                std::filesystem::file_size(folder + "/page" + std::to_string(page) + ".html");
        if (!outcome.bOk || repaired != expected)
            bench::Fail("the pages were not repaired as expected");
        best.seconds = std::min(best.seconds, took.count());
        best.bytes = bytes;
    }
    std::filesystem::remove_all(folder);
    return best;
}

// Previews the repair of `pages` pages of `pageBytes` bytes with `badUrls` bad
// links each, checks that every page has a diff of that many changes and that
// nothing was written; the fastest of `reps` runs, and the diff's size.
SRun PreviewRuns(const std::string& folder, int pages, std::size_t pageBytes, int badUrls, int reps,
                 std::size_t& diffBytes) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    CSilentHost host;
    CResultsModel rows;
    SRun best;
    for (int page = 0; page < pages; ++page)
        best.bytes +=
            WritePage(folder + "/page" + std::to_string(page) + ".html", pageBytes, badUrls, rows);
    CRepairEngine engine(rows, host);
    for (int rep = 0; rep < reps; ++rep) {
        const auto start = std::chrono::steady_clock::now();
        const CRepairEngine::SPreview preview =
            engine.PreviewLinks(CRepairEngine::ERepairType::Comment);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best.seconds = std::min(best.seconds, took.count());
        diffBytes = 0;
        for (const CRepairEngine::SPagePreview& page : preview.pages) {
            if (page.changes != badUrls || page.diff.empty())
                bench::Fail("a page's preview is not as expected");
            diffBytes += page.diff.size();
        }
        if (!preview.outcome.bOk || preview.pages.size() != static_cast<std::size_t>(pages))
            bench::Fail("the preview did not cover every page");
    }
    if (std::distance(std::filesystem::directory_iterator(folder),
                      std::filesystem::directory_iterator()) != pages)
        bench::Fail("the preview wrote into the pages' folder");
    std::filesystem::remove_all(folder);
    return best;
}

} // namespace

// The one-line page, repaired once: only the bad anchors are commented out.
SRun OneLineRun(const std::string& folder, std::size_t pageBytes) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    CSilentHost host;
    CResultsModel rows;
    const std::string path = folder + "/one-line.html";
    SRun run;
    run.bytes = WriteOneLinePage(path, pageBytes, 10000, 100, rows);
    CRepairEngine engine(rows, host);
    const auto start = std::chrono::steady_clock::now();
    const bool bOk = engine.RepairLinks(CRepairEngine::ERepairType::Comment).bOk;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // Each bad anchor gains "<!--" and "-->"; the rewritten line a line end.
    if (!bOk || std::filesystem::file_size(path) != run.bytes + 100 * 7 + 2)
        bench::Fail("the one-line page was not repaired as expected");
    std::filesystem::remove_all(folder);
    return run;
}

// `pages` pages as RepairRuns writes them, repaired, then put back one by one
// (the page's digest checked, the backup copied over it, the backup removed);
// the time of the putting back, checked against the pages' first bytes.
SRun RestoreRun(const std::string& folder, int pages) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    CSilentHost host;
    CResultsModel rows;
    SRun run;
    std::vector<std::string> paths;
    for (int page = 0; page < pages; ++page) {
        paths.push_back(folder + "/page" + std::to_string(page) + ".html");
        run.bytes += WritePage(paths.back(), 20000, 10, rows);
    }
    if (!CRepairEngine(rows, host).RepairLinks(CRepairEngine::ERepairType::Comment).bOk)
        bench::Fail("the pages were not repaired");
    CRestoreEngine engine;
    std::size_t restored = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& path : paths)
        restored += engine.RestorePage(path, {}) == CRestoreEngine::EResult::Restored ? 1u : 0u;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::size_t bytes = 0;
    for (const std::string& path : paths)
        bytes += std::filesystem::file_size(path) +
                 (std::filesystem::exists(CRepairEngine::BackupPathOf(path)) ? 1 : 0);
    if (restored != paths.size() || bytes != run.bytes)
        bench::Fail("the pages were not put back as they were");
    std::filesystem::remove_all(folder);
    return run;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::size_t pageMb = argc > 1 ? bench::ParseCount(argv[1]) : 100;
    const int pages = argc > 2 ? static_cast<int>(bench::ParseCount(argv[2])) : 1000;
    QTemporaryDir dir;
    if (!dir.isValid())
        bench::Fail("no temporary folder");
    const std::string folder = dir.filePath(QStringLiteral("pages")).toStdString();
    std::printf("  peak RSS %.1f MiB before the runs\n", bench::PeakRssMiB());

    std::size_t diffBytes = 0;
    const SRun preview = PreviewRuns(folder, pages, 20000, 10, 3, diffBytes);
    std::printf("  preview of %d pages of %.0f KB, 10 bad URLs each: diff of %.1f MB ready in "
                "%6.3f s (goal < 1 s); peak RSS %.1f MiB after (goal <= 50 MB)\n",
                pages, static_cast<double>(preview.bytes) / 1e3 / pages,
                static_cast<double>(diffBytes) / 1e6, preview.seconds, bench::PeakRssMiB());

    const SRun big = RepairRuns(folder, 1, pageMb * 1000000, 1000, 3);
    std::printf(
        "  one %.1f MB page, 1000 bad URLs: %6.3f s = %6.1f MB/s; peak RSS %.1f MiB after\n",
        static_cast<double>(big.bytes) / 1e6, big.seconds,
        static_cast<double>(big.bytes) / 1e6 / big.seconds, bench::PeakRssMiB());

    const SRun many = RepairRuns(folder, pages, 20000, 10, 3);
    std::printf("  %d pages of %.0f KB, 10 bad URLs each: %6.3f s = %6.0f files/s = %6.1f MB/s; "
                "peak RSS %.1f MiB after\n",
                pages, static_cast<double>(many.bytes) / 1e3 / pages, many.seconds,
                pages / many.seconds, static_cast<double>(many.bytes) / 1e6 / many.seconds,
                bench::PeakRssMiB());

    const SRun oneLine = OneLineRun(folder, pageMb * 1000000);
    std::printf("  one %.1f MB line, 10000 links, 100 bad: %6.3f s (goal < 1 s) = %6.1f MB/s; "
                "peak RSS %.1f MiB after (the line is held whole)\n",
                static_cast<double>(oneLine.bytes) / 1e6, oneLine.seconds,
                static_cast<double>(oneLine.bytes) / 1e6 / oneLine.seconds, bench::PeakRssMiB());

    const SRun back = RestoreRun(folder, pages);
    std::printf("  %d repaired pages of %.0f KB put back: %6.3f s (goal < 2 s) = %6.0f files/s\n",
                pages, static_cast<double>(back.bytes) / 1e3 / pages, back.seconds,
                pages / back.seconds);
    return 0;
}
