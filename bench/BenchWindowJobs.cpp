// SPDX-License-Identifier: GPL-3.0-or-later
// linkvet-bench-window-jobs WORKDIR: the window (off-screen) checking the
// benchmark site of 200 pages and 10 000 links (BenchSite.h) with "Check up to
// 64 links at once": Select Files is answered as a user would, and the view's
// own calls show the rows, the log and the progress. Prints the wall time, the
// longest stall of the event loop (how late a 10 ms timer fires) and the peak
// RSS, window included. Runs in a network namespace of its own, as
// linkvet-bench-jobs does.
#include "BenchSite.h"
#include "BenchUtil.h"
#include "app/CMainFrame.h"
#include "engine/CDescriptorBudget.h"
#include "engine/CSessionBase.h"
#include "results/CResultsModel.h"
#include "settings/CSettingsStore.h"
#include "support/CModalAnswerer.h"
#include "view/CLinkvetView.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (argc != 2)
        bench::Fail("usage: linkvet-bench-window-jobs WORKDIR");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CDescriptorBudget::RaiseSoftLimit(); // as the window's main does
    QApplication app(argc, argv);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const std::string site = std::string(argv[1]) + "/window-site";
    WriteSite(site, kPages, false);
    CSiteServer server(nullptr);

    CSettingsStore settings;
    settings.OpenBaseKey(nullptr);
    settings.SetInt("Settings", "Jobs", 64);
    settings.SetInt("Settings", "Timeout", 5);
    settings.SetString("Settings", "Filter", "111111111111111111111"); // every link a row
    CMainFrame frame(settings);
    frame.show();
    QApplication::processEvents();
    CLinkvetView& view = frame.View();

    // How late a 10 ms timer fires, at its worst.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestStall = std::max(longestStall, sinceTick.restart() - 10); });
    CModalAnswerer answerer([&](QWidget* dialog) {
        dialog->findChild<QLineEdit*>(QStringLiteral("pathEdit"))
            ->setText(QString::fromStdString(site));
        dialog->findChild<QCheckBox*>(QStringLiteral("allFilesCheck"))->setChecked(true);
        dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    });
    QElapsedTimer wall;
    wall.start();
    sinceTick.start();
    ticker.start(10);
    view.OnSelectFiles();
    while (!view.Session().IsTestEnded() && wall.elapsed() < 120000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = static_cast<double>(wall.elapsed()) / 1000;
    ticker.stop();
    const long links = static_cast<long>(kPages) * kLinksPerPage;
    if (view.Results().RowCount() != links)
        bench::Fail("the window listed " + std::to_string(view.Results().RowCount()) + " of " +
                    std::to_string(links) + " links");
    std::printf("  %ld links, 64 at once: %.2f s (goal < 8 s), longest stall of the event loop "
                "%lld ms (goal < 50 ms), peak RSS %.1f MiB (goal < 80 MB)\n",
                links, seconds, static_cast<long long>(longestStall), bench::PeakRssMiB());
    return 0;
}
