// SPDX-License-Identifier: GPL-3.0-or-later
// linkvet-bench-view: appends 100 000 result rows and 100 000 log lines through
// the results view's own calls, in a real (off-screen) main window, and prints
// the times and the peak memory. The log is timed in blocks of 10 000 lines, so
// a cost that grows with the log's length shows as growing block times. Then
// it times dropping the repaired rows of a 40 000-row list, as closing does.
#include "BenchUtil.h"
#include "app/CMainFrame.h"
#include "results/CResultsModel.h"
#include "settings/CSettingsStore.h"
#include "view/CLinkvetView.h"

#include <QApplication>
#include <QTemporaryDir>
#include <chrono>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    CSettingsStore settings;
    settings.OpenBaseKey(nullptr);
    CMainFrame frame(settings);
    frame.show();
    QApplication::processEvents();
    CLinkvetView& view = frame.View();
    const double startMiB = bench::PeakRssMiB();

    constexpr int kRows = 100000;
    const std::string file = "/srv/www/site/section/page.html";
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRows; ++i) {
        view.AddResultRow({"http://www.example.com/some/path/page" + std::to_string(i) + ".html",
                           "HTTP Code 404 Not Found", "Anchor text of link " + std::to_string(i),
                           file});
        if (i % 1000 == 999)
            QApplication::processEvents(); // the window repaints as a test would let it
    }
    QApplication::processEvents();
    const double rowSeconds = Seconds(start);
    if (view.Results().RowCount() != kRows)
        bench::Fail("rows missing");
    view.scrollToBottom();
    QApplication::processEvents();
    std::printf("  100000 rows:      %6.3f s  (goal < 1 s)\n", rowSeconds);
    const double rowsMiB = bench::PeakRssMiB();

    constexpr int kBlock = 10000;
    std::printf("  100000 log lines, per block of 10000:");
    start = std::chrono::steady_clock::now();
    for (int block = 0; block < 10; ++block) {
        auto blockStart = std::chrono::steady_clock::now();
        for (int i = 0; i < kBlock; ++i)
            view.AppendLog("Results for " + file + ": URLs tested: " + std::to_string(i) +
                           ". URL errors: 3.\r\n");
        QApplication::processEvents();
        std::printf(" %.3f", Seconds(blockStart));
    }
    std::printf(" s\n  100000 log lines: %6.3f s in all\n", Seconds(start));
    std::printf("  peak RSS: %.1f MiB at start, %.1f MiB after the rows, %.1f MiB after the log"
                "  (goal: rows < 100 MB)\n",
                startMiB, rowsMiB, bench::PeakRssMiB());

    // Closing drops the repaired rows: 40 000 rows, every other one repaired.
    CResultsModel& results = view.Results();
    results.Clear();
    for (int i = 0; i < 40000; ++i) {
        results.AddRow({"http://www.example.com/p" + std::to_string(i), "HTTP Code 404 Not Found",
                        "name", file});
        results.SetRepaired(i, i % 2 == 0);
    }
    QApplication::processEvents();
    start = std::chrono::steady_clock::now();
    const int removed = results.RemoveRepairedRows();
    QApplication::processEvents();
    if (removed != 20000 || results.RowCount() != 20000)
        bench::Fail("repaired rows not removed");
    std::printf("  remove 20000 repaired of 40000 rows: %.1f ms  (goal < 50 ms)\n",
                Seconds(start) * 1000);
    return 0;
}
