// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CMainFrame.h"

#include "dialogs/CAboutDlg.h"
#include "dialogs/CExportDlg.h"
#include "dialogs/CPreferencesDlg.h"
#include "dialogs/CReasonCheckListBox.h"
#include "dialogs/CRepairDlg.h"
#include "dialogs/CRepairFailureDlg.h"
#include "dialogs/CRepairPreviewDlg.h"
#include "dialogs/CStaticLink.h"
#include "dialogs/CTestProgressDlg.h"
#include "dialogs/HelpTopics.h"
#include "engine/CConcurrentSession.h"
#include "engine/CFileEnumerator.h"
#include "engine/CSessionBase.h"
#include "export/CReportWriter.h"
#include "repair/CRepairEngine.h"
#include "results/CDisplayText.h"
#include "results/CResultsModel.h"
#include "settings/CSettingsStore.h"
#include "support/CLoopbackServer.h"
#include "support/CModalAnswerer.h"
#include "support/SessionTest.h"
#include "support/TestUtil.h"
#include "view/CLinkvetView.h"
#include "view/CResultsPrinter.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSplitter>
#include <QSplitterHandle>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using ECommand = CMainFrame::ECommand;

template <typename T> T* Child(QWidget* parent, const char* name) {
    return parent->findChild<T*>(QLatin1String(name));
}

// Fills the Select File(s) dialog and presses OK.
CModalAnswerer::Answer Select(const std::string& path, bool bAllFiles = false) {
    return [path, bAllFiles](QWidget* dialog) {
        // OK and Cancel stand beside the check boxes, at the right.
        const QRect last = Child<QCheckBox>(dialog, "htmlOnlyCheck")->geometry();
        const QRect ok = Child<QPushButton>(dialog, "okButton")->geometry();
        EXPECT_TRUE(ok.left() > last.right() && ok.bottom() <= last.bottom());
        EXPECT_GT(Child<QPushButton>(dialog, "cancelButton")->x(), ok.right());
        Child<QLineEdit>(dialog, "pathEdit")->setText(QString::fromStdString(path));
        Child<QCheckBox>(dialog, "allFilesCheck")->setChecked(bAllFiles);
        Child<QPushButton>(dialog, "okButton")->click();
    };
}

// The desktop's opener, first on PATH while it lives: it notes each target and
// exits with the status it was given.
class CFakeOpener {
public:
    CFakeOpener(const std::string& dir, int status) : m_dir(dir), m_oldPath(qgetenv("PATH")) {
        SetStatus(status);
        qputenv("PATH", QByteArray::fromStdString(dir) + ':' + m_oldPath);
    }
    ~CFakeOpener() { qputenv("PATH", m_oldPath); }
    void SetStatus(int status) {
        WriteFile(m_dir + "/xdg-open", "#!/bin/sh\necho \"$1\" >>'" + m_dir + "/opened'\nexit " +
                                           std::to_string(status));
        ::chmod((m_dir + "/xdg-open").c_str(), 0755);
    }
    // The targets so far, a line each, once there are `count`.
    std::string Opened(long count) const {
        std::string log;
        const auto enough = [&] {
            return std::ranges::count(log = ReadFile(m_dir + "/opened"), '\n') >= count;
        };
        return QTest::qWaitFor(enough) ? log : "only " + log;
    }

private:
    std::string m_dir;
    QByteArray m_oldPath;
};

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_settings.OpenBaseKey(nullptr)); }

    void Open() {
        m_frame = std::make_unique<CMainFrame>(m_settings);
        m_frame->show();
        m_frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
    }
    CLinkvetView& View() { return m_frame->View(); }
    bool Enabled(ECommand command) { return m_frame->Action(command)->isEnabled(); }
    void AddRows(int count, bool bRepaired = false) {
        for (int i = 0; i < count; ++i) {
            View().AddResultRow({"http://h/", "HTTP Code 404 Not Found", "name", "/site/page.htm"});
            View().Results().SetRepaired(View().Results().RowCount() - 1, bRepaired);
        }
    }

    CTempDir m_dir;
    CSettingsStore m_settings;
    std::unique_ptr<CMainFrame> m_frame;
};

TEST_F(MainFrameTest, ATestRunsFromCtrlOToSearchCompleteAndEscStopsOne) {
    CLoopbackServer gone("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 404 Gone\r\n"));
    CLoopbackServer silent("127.0.0.7", gone.Port(), CLoopbackServer::Silent());
    const std::string page = m_dir / "page.htm";
    WriteFile(page, "<a href=\"http://127.0.0.1/x\">B</a>");
    Open();
    View().Session().SetPorts(gone.Port(), gone.Port());
    CModalAnswerer answerer(Select(page));
    QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(Enabled(ECommand::StopTest));
    EXPECT_FALSE(Enabled(ECommand::SelectFiles));
    EXPECT_FALSE(Enabled(ECommand::ExportResults)); // no row yet
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_frame->PaneText(1) == QStringLiteral("Search Complete"); }));
    EXPECT_EQ(m_settings.GetString("FileSel", "Starter", ""), page);
    EXPECT_TRUE(Enabled(ECommand::SelectFiles));
    EXPECT_FALSE(Enabled(ECommand::StopTest));
    EXPECT_TRUE(Enabled(ECommand::ExportResults));
    EXPECT_TRUE(Enabled(ECommand::RepairLinks));
    EXPECT_TRUE(Enabled(ECommand::Preferences)); // always, during a test too
    EXPECT_TRUE(answerer.m_messages.empty());

    // Esc stops a test from the main window (it keeps the keyboard) or the progress window.
    WriteFile(page, "<a href=\"http://127.0.0.7/\">Silent</a>");
    QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.Requests().size() == 1; }));
    AddRows(1);
    EXPECT_TRUE(Enabled(ECommand::ExportResults)); // also while a test runs
    EXPECT_FALSE(Enabled(ECommand::RepairLinks));
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(m_frame->LogPane().toPlainText().endsWith(QStringLiteral("Stopped by User\n")));
    EXPECT_TRUE(Enabled(ECommand::SelectFiles));
    QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.Requests().size() == 2; }));
    CTestProgressDlg* progress = View().findChild<CTestProgressDlg*>();
    ASSERT_NE(progress, nullptr);
    // A title and nothing else (no system menu, no buttons), and no resizing.
    EXPECT_EQ(progress->windowFlags() & ~Qt::WindowType_Mask,
              Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    EXPECT_EQ(progress->minimumSize(), progress->maximumSize());
    static_cast<QDialog*>(progress)->reject(); // Esc, where the progress window has the keyboard
    EXPECT_FALSE(View().Session().IsTestRunning());
    for (CTestProgressDlg* left : View().findChildren<CTestProgressDlg*>())
        EXPECT_FALSE(left->isVisible());
}

// The window checking several links at once: the concurrent session lists what
// the paced one lists, stops as it does and takes Preferences as it does.
class ManyAtOnceTest : public MainFrameTest {
protected:
    void SetUp() override {
        MainFrameTest::SetUp();
        ASSERT_TRUE(m_settings.SetInt("Settings", "Timeout", 1));
        ASSERT_TRUE(m_settings.SetString("Settings", "Filter", std::string(21, '1')));
    }
    // Tests `path` from Ctrl+O to its end, answering Preferences with `prefs`.
    void Run(const std::string& path, const CModalAnswerer::Answer& prefs = {}) {
        CModalAnswerer answerer([&](QWidget* dialog) {
            if (qobject_cast<CPreferencesDlg*>(dialog) == nullptr)
                Select(path, true)(dialog);
            else if (prefs)
                prefs(dialog);
        });
        QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return View().Session().IsTestEnded(); }, 30000));
    }
    // The rows as "URL | reason | page" and the log without its dates.
    Texts Rows() {
        Texts rows;
        for (int i = 0; i < View().Results().RowCount(); ++i) {
            const SResultRow& row = View().Results().Row(i);
            rows.push_back(row.url + " | " + row.reason + " | " + row.fileName);
        }
        return rows;
    }
    std::string Log() {
        std::string log = m_frame->LogPane().toPlainText().toStdString();
        for (const std::string dated : {"Start of test ", "End of test: "})
            if (std::size_t at = log.find(dated); at != std::string::npos)
                log.replace(at + dated.size(), log.find('\n', at) - at - dated.size(), "<date>");
        return log;
    }
};

TEST_F(ManyAtOnceTest, SixteenAtOnceListWhatOneAtATimeListsAndStopEndsEveryProbe) {
    Server ok("127.0.0.1", 0, {true, {{50, "HTTP/1.0 200 OK\r\n"}}, false, false, true});
    Server notFound("127.0.0.2", ok.Port(), Server::Reply("HTTP/1.0 404 Not Found\r\n"));
    Server closes("127.0.0.6", ok.Port(), Server::CloseAtOnce());
    Server silent("127.0.0.9", ok.Port(), {.bHoldOpen = true, .bConcurrent = true});
    // 127.0.0.5 refuses.
    const Texts mixed = {"http://127.0.0.1/1", "http://127.0.0.9/", "http://127.0.0.2/x",
                         "http://127.0.0.5/",  "http://127.0.0.6/", "http://127.0.0.1/2"};
    WriteFile(m_dir / "site/a.htm", Links(mixed) + Links({"http://127.0.0.1/1"}));
    WriteFile(m_dir / "site/b.htm",
              Links({"http://127.0.0.9/", "http://127.0.0.1/3"}) + Links(mixed));
    Open();
    View().Session().SetPorts(ok.Port(), ok.Port());
    Run(m_dir / "site");
    const Texts paced = Rows();
    const std::string pacedLog = Log();
    ASSERT_EQ(paced.size(), 15u);
    EXPECT_EQ(ok.MostAtOnce(), 1);

    ASSERT_TRUE(m_settings.SetInt("Settings", "Jobs", 16));
    ASSERT_TRUE(m_settings.SetInt("Settings", "PerHost", 2));
    int inserts = 0; // the rows come in batches, not one insertion each
    const QMetaObject::Connection counting =
        QObject::connect(View().model(), &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    Run(m_dir / "site");
    QObject::disconnect(counting);
    EXPECT_LT(inserts, 8);
    EXPECT_NE(dynamic_cast<CConcurrentSession*>(&View().Session()), nullptr);
    EXPECT_EQ(Rows(), paced);
    EXPECT_EQ(Log(), pacedLog);
    EXPECT_EQ(ok.MostAtOnce(), 2);
    EXPECT_TRUE(Enabled(ECommand::RepairLinks) && Enabled(ECommand::SelectFiles));

    // Stop while several silent links wait: the stop line is the last, the
    // connections close and nothing is listed afterwards.
    ASSERT_TRUE(m_settings.SetInt("Settings", "PerHost", 16));
    Texts held;
    for (int i = 0; i < 6; ++i)
        held.push_back("http://127.0.0.9/" + std::to_string(i));
    WriteFile(m_dir / "held.htm", Links({"http://127.0.0.2/first"}) + Links(held));
    CModalAnswerer answerer(Select(m_dir / "held.htm"));
    QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.Open() == 6 && Rows().size() == 1; }));
    EXPECT_TRUE(Enabled(ECommand::StopTest));
    auto* progress = View().findChild<CTestProgressDlg*>();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return Child<QLabel>(progress, "urlIndex")->text() ==
               QStringLiteral("1 of 7 links checked, 6 in flight");
    }));
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return silent.Open() == 0; }));
    QTest::qWait(1300); // past the time-out
    EXPECT_TRUE(Log().ends_with("\nTesting Stopped by User\n"));
    EXPECT_EQ(Rows().size(), 1u);
    EXPECT_FALSE(View().Session().IsTestRunning() || Enabled(ECommand::StopTest));
}

TEST_F(ManyAtOnceTest, ATimeOutChangedDuringATestAppliesToTheLinksStartedAfterwards) {
    Server silent("127.0.0.9", 0, Server::Silent()); // one connection at a time
    WriteFile(m_dir / "site/a.htm", Links({"http://127.0.0.9/1", "http://127.0.0.9/2"}));
    ASSERT_TRUE(m_settings.SetInt("Settings", "Jobs", 16));
    ASSERT_TRUE(m_settings.SetInt("Settings", "PerHost", 1));
    Open();
    View().Session().SetPorts(silent.Port(), silent.Port());
    QElapsedTimer clock;
    qint64 firstListed = 0;
    QTimer prefs; // once the first link is being probed
    QObject::connect(&prefs, &QTimer::timeout, [&] {
        if (silent.Requests().size() == 1 && firstListed == 0) {
            prefs.stop();
            View().OnPreferences();
        }
    });
    QObject::connect(View().model(), &QAbstractItemModel::rowsInserted, &prefs,
                     [&] { firstListed = firstListed == 0 ? clock.elapsed() : firstListed; });
    clock.start();
    prefs.start(10);
    Run(m_dir / "site", [](QWidget* dialog) {
        Child<QLineEdit>(dialog, "timeoutEdit")->setText(QStringLiteral("5"));
        Child<QPushButton>(dialog, "okButton")->click();
    });
    EXPECT_EQ(Rows().size(), 2u);
    EXPECT_LT(firstListed, 2500);                   // the first kept its second
    EXPECT_GE(clock.elapsed() - firstListed, 4500); // the second had five
}

TEST_F(MainFrameTest, SelectFilesRefusesABadPathButKeepsTheChoices) {
    Open();
    m_settings.SetInt("FileSel", "Recurse", 1); // set by hand, without AllFiles: shown cleared
    CModalAnswerer answerer(Select(m_dir / "missing", true));
    View().OnSelectFiles();
    EXPECT_EQ(answerer.m_messages, Texts{CFileEnumerator::kNoSuchFolderMessage});
    EXPECT_EQ(m_settings.GetInt("FileSel", "Recurse", 9), 0);
    EXPECT_EQ(m_settings.GetInt("FileSel", "AllFiles", 9), 1);
    EXPECT_EQ(m_settings.GetString("FileSel", "Starter", "none"), "none");
}

TEST_F(MainFrameTest, ClosingDropsRepairedRowsAndAsksAboutTheRest) {
    Open();
    for (int i = 0; i < 4; ++i)
        View().setColumnWidth(i, 50 + 10 * i);
    AddRows(3, true); // every row repaired: they go, no question, widths saved
    CModalAnswerer answerer({}, QMessageBox::No);
    EXPECT_TRUE(m_frame->close());
    Open();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(View().columnWidth(i), 50 + 10 * i);
    m_settings.SetInt("Grid", "col3", 0); // one unusable width: all four fall back alike
    Open();
    EXPECT_EQ(View().columnWidth(3), View().columnWidth(0));

    m_settings.SetInt("Grid", "col0", 7);
    AddRows(2, true);
    AddRows(1, false);
    EXPECT_FALSE(m_frame->close()); // answered No
    EXPECT_EQ(answerer.m_messages, Texts{CLinkvetView::kQuitQuestion});
    EXPECT_EQ(View().Results().RowCount(), 1); // the repaired rows are gone
    EXPECT_EQ(m_settings.GetInt("Grid", "col0", -1), 7);
    answerer.m_messageButton = QMessageBox::Yes;
    EXPECT_TRUE(m_frame->close());
    EXPECT_EQ(View().Results().RowCount(), 0);
}

TEST_F(MainFrameTest, ExportSwitchesTheEndingWithTheFormatAndHoldsThePathTo200Characters) {
    CExportDlg dlg(nullptr);
    auto* edit = Child<QLineEdit>(&dlg, "pathEdit");
    auto* text = Child<QRadioButton>(&dlg, "textRadio");
    auto* html = Child<QRadioButton>(&dlg, "htmlRadio");
    dlg.SetChoice({"results.txt", 0});
    dlg.show();
    html->click();
    EXPECT_EQ(edit->text(), QStringLiteral("results.html"));
    text->click();
    EXPECT_EQ(edit->text(), QStringLiteral("results.txt"));
    for (const char* alone : {"RESULTS.TXT", ".txt", "a.txt.bak"}) {
        edit->setText(QLatin1String(alone));
        html->click();
        EXPECT_EQ(edit->text(), QLatin1String(alone));
    }

    edit->clear();
    QTest::keyClicks(edit, QString(201, QLatin1Char('x')));
    EXPECT_EQ(edit->text().size(), 200);
    // A longer stored path is shown whole, and OK refuses it with a notice.
    dlg.SetChoice({std::string(201, 'y'), 0});
    EXPECT_EQ(edit->text().size(), 201);
    CModalAnswerer answerer;
    Child<QPushButton>(&dlg, "okButton")->click();
    EXPECT_EQ(answerer.m_messages, Texts{CExportDlg::kPathTooLongMessage});
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(MainFrameTest, ExportAsksBeforeReplacingStoresTheChoiceAndReportsWriteErrors) {
    Open();
    AddRows(1);
    SExportChoice choice;
    CModalAnswerer answerer(
        [&](QWidget* dialog) {
            Child<QRadioButton>(dialog, choice.format != 0 ? "htmlRadio" : "textRadio")->click();
            Child<QLineEdit>(dialog, "pathEdit")->setText(QString::fromStdString(choice.path));
            Child<QPushButton>(dialog, "okButton")->click();
        },
        QMessageBox::No);
    auto exportTo = [&](const std::string& path, int format) {
        choice = {path, format};
        answerer.m_messages.clear();
        View().OnExportResults();
        return answerer.m_messages;
    };
    const std::string old = m_dir / "old.txt";
    WriteFile(old, "old");
    EXPECT_EQ(exportTo(old, 1), Texts{old + CLinkvetView::kReplaceQuestion});
    EXPECT_EQ(ReadFile(old), "old");
    EXPECT_EQ(m_settings.GetString("XportSel", "Starter", "none"), "none");

    answerer.m_messageButton = QMessageBox::Yes;
    EXPECT_EQ(exportTo("/dev/full", 1),
              (Texts{std::string("/dev/full") + CLinkvetView::kReplaceQuestion,
                     CReportWriter::kWriteErrorMessage}));
    EXPECT_EQ(m_settings.GetString("XportSel", "Starter", ""), "/dev/full"); // before writing
    EXPECT_EQ(m_settings.GetInt("XportSel", "Text", 9), 1);
    EXPECT_EQ(exportTo(old, 0), Texts{old + CLinkvetView::kReplaceQuestion});
    EXPECT_EQ(ReadFile(old).rfind("FILE: /site/page.htm\r\n", 0), 0u);
}

TEST_F(MainFrameTest, RepairAsksFirstCanDropTheStoppingRowAndExportsAfterEveryRun) {
    Open();
    const std::string page = m_dir / "page.htm";
    std::string report = m_dir / "r.txt";
    WriteFile(page, "<a href=\"http://h/1\">1</a>\n<p>\n");
    for (const char* url : {"http://h/1", "http://h/2"})
        View().AddResultRow({url, "HTTP Code 404 Not Found", "n", page});
    View().Session().Reasons().ReasonText(999); // an outcome of no known reason
    Texts seen;
    const char* repairButton = "cancelButton";
    CModalAnswerer answerer(
        [&](QWidget* modal) {
            const char* button = "okButton";
            if (qobject_cast<CRepairFailureDlg*>(modal)) {
                seen.push_back(Child<QLineEdit>(modal, "fileEdit")->text().toStdString() + " " +
                               Child<QLineEdit>(modal, "urlEdit")->text().toStdString());
                Child<QCheckBox>(modal, "ignoreCheck")->setChecked(true);
            } else if (qobject_cast<CExportDlg*>(modal)) {
                seen.push_back("export");
                Child<QLineEdit>(modal, "pathEdit")->setText(QString::fromStdString(report));
            } else { // the save box is greyed but ticked, and only Remove enables it
                seen.push_back("repair");
                auto* save = Child<QCheckBox>(modal, "saveCheck");
                const bool bGreyed = !save->isEnabled() && save->isChecked();
                Child<QRadioButton>(modal, "removeRadio")->click();
                const bool bEnabled = save->isEnabled();
                Child<QRadioButton>(modal, "disableRadio")->click();
                EXPECT_TRUE(bGreyed && bEnabled && !save->isEnabled() && save->isChecked());
                button = repairButton;
            }
            Child<QPushButton>(modal, button)->click();
        },
        QMessageBox::No);
    View().OnRepairLinks(); // No to the question
    answerer.m_messageButton = QMessageBox::Yes;
    View().OnRepairLinks(); // Cancel
    EXPECT_EQ(m_settings.GetInt("Repair", "Type", 9), 9);
    EXPECT_EQ(ReadFile(page), "<a href=\"http://h/1\">1</a>\n<p>\n");
    repairButton = "okButton";
    View().OnRepairLinks();
    EXPECT_EQ(seen, (Texts{"repair", "repair", page + " http://h/2", "export"}));
    const std::string question = CLinkvetView::kUnknownReasonQuestion;
    EXPECT_EQ(answerer.m_messages,
              (Texts{question, question, question,
                     "We looked in file\n" + page + "\nbut could not file the URL\nhttp://h/2"}));
    EXPECT_EQ(answerer.m_icons.front(), QMessageBox::Question);
    EXPECT_EQ(ReadFile(page), "<!--<a href=\"http://h/1\">1</a>-->\r\n<p>\r\n");
    EXPECT_EQ(m_settings.GetInt("Repair", "Save", 9), 1);

    seen.clear();
    answerer.m_messages.clear();
    report = m_dir / "r2.txt";
    View().OnRepairLinks();
    EXPECT_EQ(seen, (Texts{"repair", "export"}));
    EXPECT_EQ(answerer.m_messages, (Texts{question, CRepairEngine::kCompletedMessage}));
    EXPECT_EQ(ReadFile(report), "FILE: " + page + "\r\nhttp://h/1\tHTTP Code 404 Not Found\tn\r\n");
}

TEST_F(MainFrameTest, ARepairIsPreviewedAppliedToTheTickedPagesAndUndone) {
    Open();
    const std::string a = m_dir / "a.htm", b = m_dir / "b.htm", c = m_dir / "c.htm";
    const std::string aText = "<p>\n<a href=\"http://h/1\">1</a>\n",
                      bText = "<a href=\"http://h/2\">2</a>\n";
    WriteFile(a, aText);
    WriteFile(b, bText);
    WriteFile(c, "<p>\n");
    View().AddResultRow({"http://h/1", "HTTP Code 404 Not Found", "1", a, 0, 2});
    View().AddResultRow({"http://h/2", "HTTP Code 404 Not Found", "2", b, 0, 1});
    View().AddResultRow({"http://h/3", "HTTP Code 404 Not Found", "3", c, 0, 1});
    const char* previewButton = "cancelButton";
    const char* repairDlgButton = "previewButton";
    Texts seen;
    CModalAnswerer answerer(
        [&](QWidget* modal) {
            if (auto* preview = qobject_cast<CRepairPreviewDlg*>(modal)) {
                auto* list = Child<QListWidget>(modal, "pageList");
                for (int i = 0; i < list->count(); ++i)
                    seen.push_back(list->item(i)->text().toStdString() +
                                   (list->item(i)->checkState() == Qt::Checked ? " [x]" : " [ ]"));
                seen.push_back(preview->DiffView().toPlainText().toStdString());
                preview->grab().save(QStringLiteral("/tmp/preview.png"));
                list->item(1)->setCheckState(Qt::Unchecked); // b.htm stays as it is
                Child<QPushButton>(modal, previewButton)->click();
            } else if (qobject_cast<CRepairDlg*>(modal)) {
                // Later, as a click of the user's: the preview's own loop must not run in here.
                QTimer::singleShot(
                    0, Child<QPushButton>(modal, seen.empty() ? repairDlgButton : "cancelButton"),
                    &QPushButton::click);
            } else {
                modal->close();
            }
        },
        QMessageBox::Yes);
    View().OnRepairLinks(); // Preview, Cancel there, then Cancel the repair
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0], a + " \u2014 1 change [x]");
    EXPECT_EQ(seen[1], b + " \u2014 1 change [x]");
    EXPECT_TRUE(seen[2].starts_with(c + " \u2014 We looked in file ")) << seen[2];
    EXPECT_TRUE(seen[2].ends_with("http://h/3 [ ]")) << seen[2];
    EXPECT_TRUE(seen[3].ends_with("\n-<a href=\"http://h/1\">1</a>\n+<p>^M\n"
                                  "+<!--<a href=\"http://h/1\">1</a>-->^M\n"))
        << seen[3];
    EXPECT_EQ(ReadFile(a), aText); // Cancel wrote nothing
    EXPECT_FALSE(Enabled(ECommand::UndoRepairs));

    previewButton = "repairButton";
    seen.clear();
    answerer.m_messages.clear();
    View().OnRepairLinks(); // Preview, then Repair with b.htm unticked
    EXPECT_EQ(answerer.m_messages, Texts{CRepairEngine::kCompletedMessage});
    EXPECT_EQ(ReadFile(a), "<p>\r\n<!--<a href=\"http://h/1\">1</a>-->\r\n");
    EXPECT_EQ(ReadFile(b), bText);
    EXPECT_TRUE(View().Results().IsRepaired(0));
    EXPECT_FALSE(View().Results().IsRepaired(1) || View().Results().IsRepaired(2));
    ASSERT_TRUE(Enabled(ECommand::UndoRepairs));

    answerer.m_messages.clear();
    m_frame->Action(ECommand::UndoRepairs)->trigger();
    EXPECT_EQ(answerer.m_messages, (Texts{"Put back 1 pages from their backups?",
                                          "1 pages were put back from their backups."}));
    EXPECT_EQ(ReadFile(a), aText);
    EXPECT_FALSE(View().Results().IsRepaired(0) || View().Results().IsFileFinished(0));
    EXPECT_FALSE(Enabled(ECommand::UndoRepairs));
    // A second repair works on the page put back.
    repairDlgButton = "okButton";
    seen.clear();
    View().Results().RemoveRow(2);
    View().OnRepairLinks();
    EXPECT_EQ(ReadFile(a), "<p>\r\n<!--<a href=\"http://h/1\">1</a>-->\r\n");
}

// Tab enters a group of radio buttons at its checked one, so that Space keeps the choice.
TEST_F(MainFrameTest, TabEntersARadioGroupAtItsCheckedButtonAndTheFramesAreFixed) {
    CExportDlg exportDlg(nullptr);
    CRepairDlg repairDlg(nullptr);
    Texts landed;
    const auto tabFrom = [&landed](QDialog& dlg, const char* before) {
        dlg.show();
        EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
        Child<QWidget>(&dlg, before)->setFocus();
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Tab);
        landed.push_back(dlg.focusWidget()->objectName().toStdString());
    };
    for (int format : {1, 0})
        exportDlg.SetChoice({"r.txt", format}), tabFrom(exportDlg, "browseButton");
    for (int type : {2, 1, 0})
        repairDlg.SetChoice({type, false}), tabFrom(repairDlg, "helpButton");
    EXPECT_EQ(landed,
              (Texts{"htmlRadio", "textRadio", "removeRadio", "replaceRadio", "disableRadio"}));
}

TEST_F(MainFrameTest, PreferencesPresetsActAtOnceTheTimeOutIsCheckedAndOnlyOkStores) {
    const std::string stored = "0x1111111111111111111"; // edited by hand
    m_settings.SetString("Settings", "Filter", stored);
    Open();
    CReasonFilter& reasons = View().Session().Reasons();
    bool bOk = false;
    // Patterns of any length and bytes, one a line; shown again as stored.
    const std::string patterns = "# others\n(?i)^https?://" + std::string(300, 'x') + "\n/caf",
                      skip = patterns + "\xe9/";
    std::string shown;
    CModalAnswerer answerer([&](QWidget* dlg) {
        auto* list = Child<CReasonCheckListBox>(dlg, "reasonList");
        auto* skipEdit = Child<QPlainTextEdit>(dlg, "skipUrlsEdit");
        shown = skipEdit->toPlainText().toStdString();
        skipEdit->setPlainText(CDisplayText::FromBytes(skip));
        Child<QCheckBox>(dlg, "currentWebCheck")->setChecked(true);
        Child<QCheckBox>(dlg, "localLinksCheck")->setChecked(true);
        Child<QLineEdit>(dlg, "timeoutEdit")->setText(QStringLiteral("30"));
        if (bOk) {
            list->SetChecks(std::string(21, '0'));
        } else { // any character but '0' checks
            EXPECT_EQ(list->Checks(), CPreferencesDlg::kHawkFilter);
            Child<QPushButton>(dlg, "oneEyeButton")->click();
        }
        Child<QPushButton>(dlg, bOk ? "okButton" : "cancelButton")->click();
    });
    QTest::keyClick(m_frame.get(), Qt::Key_F2);
    // Cancel stores nothing, but the preset acts at once and lasts for the run.
    EXPECT_EQ(m_settings.GetString("Settings", "Filter", ""), stored);
    EXPECT_EQ(m_settings.GetString("Settings", "Timeout", "none"), "none");
    EXPECT_EQ(m_settings.GetString("Settings", "CurrentWeb", "none"), "none");
    EXPECT_EQ(m_settings.GetString("Settings", "LocalLinks", "none"), "none");
    EXPECT_EQ(m_settings.GetString("Settings", "SkipUrls", "none"), "none");
    EXPECT_EQ(reasons.Filter(), CReasonFilter::kOneEyeShutFilter);
    EXPECT_EQ(reasons.TimeoutMs(), 15000);
    bOk = true;
    View().OnPreferences();
    EXPECT_EQ(m_settings.GetString("Settings", "Filter", ""), std::string(21, '0'));
    EXPECT_EQ(m_settings.GetString("Settings", "Timeout", ""), "30");
    EXPECT_EQ(m_settings.GetString("Settings", "CurrentWeb", ""), "1");
    EXPECT_EQ(m_settings.GetString("Settings", "LocalLinks", ""), "1");
    EXPECT_EQ(reasons.TimeoutMs(), 30000);
    // Typed text is UTF-8; untouched text keeps its bytes. The file keeps the
    // list on one line.
    EXPECT_EQ(m_settings.Get(SettingsKeys::kSettingsSkipUrls), patterns + "\xc3\xa9/");
    ASSERT_TRUE(m_settings.Set(SettingsKeys::kSettingsSkipUrls, skip));
    View().OnPreferences();
    EXPECT_EQ(shown, CDisplayText::FromBytes(skip).toStdString());
    EXPECT_EQ(m_settings.Get(SettingsKeys::kSettingsSkipUrls), skip);
    EXPECT_NE(ReadFile(m_settings.FilePath()).find("\nskipurls=@ByteArray(# others\\n(?i)"),
              std::string::npos);

    CPreferencesDlg dlg(nullptr, reasons);
    dlg.show();
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize()); // a fixed frame
    auto* edit = Child<QLineEdit>(&dlg, "timeoutEdit");
    auto* jobsEdit = Child<QLineEdit>(&dlg, "jobsEdit");
    auto* perHostEdit = Child<QLineEdit>(&dlg, "perHostEdit");
    jobsEdit->setText(QStringLiteral("1"));
    perHostEdit->setText(QStringLiteral("1"));
    Child<CReasonCheckListBox>(&dlg, "reasonList")->item(0)->setCheckState(Qt::Checked);
    answerer.m_messages.clear();
    Texts outcomes; // a refused time-out leaves the dialog open at the edit
    for (const char* text : {"4", "1001", "x", "5", "1000"}) {
        edit->setText(QLatin1String(text));
        Child<QPushButton>(&dlg, "okButton")->click();
        const bool bAtEdit = dlg.isVisible() && dlg.focusWidget() == edit;
        outcomes.push_back(bAtEdit ? "open" : std::to_string(dlg.Prefs().timeoutSeconds));
        if (outcomes.size() == 1) { // a refused OK takes the checks even so
            EXPECT_EQ(reasons.Filter(), "100000000000000000000");
        }
        dlg.show();
    }
    EXPECT_EQ(outcomes, (Texts{"open", "open", "open", "5", "1000"}));
    // A pattern that is not one is named, and the dialog stays open at the list.
    auto* skipEdit = Child<QPlainTextEdit>(&dlg, "skipUrlsEdit");
    skipEdit->setPlainText(QStringLiteral("/ok\na(b"));
    Child<QPushButton>(&dlg, "okButton")->click();
    EXPECT_TRUE(dlg.isVisible() && dlg.focusWidget() == skipEdit);
    const std::string range = CPreferencesDlg::kOutOfRangeMessage;
    EXPECT_EQ(answerer.m_messages,
              (Texts{range, range, CPreferencesDlg::kNotIntegerMessage,
                     "Skip URLs matching: invalid pattern: a(b (missing ): a(b)"}));
    // Links at once from 1 to 256, per host from 1 to that: each refusal names
    // the range and leaves the dialog open at its edit.
    answerer.m_messages.clear();
    skipEdit->clear();
    outcomes.clear();
    // Each pair as typed; the outcome is the accepted pair or the edit left with the focus.
    for (const std::string typed : {"0 1", "257 1", "8 9", "8 x", " 256 256"}) {
        const std::size_t space = typed.rfind(' ');
        jobsEdit->setText(QString::fromStdString(typed.substr(0, space)));
        perHostEdit->setText(QString::fromStdString(typed.substr(space + 1)));
        Child<QPushButton>(&dlg, "okButton")->click();
        const SPreferences& prefs = dlg.Prefs();
        outcomes.push_back(dlg.isVisible()
                               ? dlg.focusWidget()->objectName().toStdString()
                               : std::to_string(prefs.jobs) + "/" + std::to_string(prefs.perHost));
        dlg.show();
    }
    EXPECT_EQ(outcomes, (Texts{"jobsEdit", "jobsEdit", "perHostEdit", "perHostEdit", "256/256"}));
    const std::string jobsRange = CPreferencesDlg::kJobsRangeMessage;
    EXPECT_EQ(answerer.m_messages,
              (Texts{jobsRange, jobsRange, "Please enter an integer between 1 and 8.",
                     CPreferencesDlg::kNotIntegerMessage}));
    // OK stores them only when changed, so a settings file without them stays so.
    EXPECT_EQ(m_settings.GetString("Settings", "Jobs", "none"), "none");
    EXPECT_EQ(m_settings.GetString("Settings", "PerHost", "none"), "none");
}

TEST_F(MainFrameTest, AnAboutLinkOpenedStaysPurpleForTheRunAndOneThatFailedStaysBlue) {
    Open();
    const QColor blue(Qt::blue), purple(Qt::darkMagenta);
    CFakeOpener opener(m_dir.Path(), 1); // found, but nothing opens the target
    const auto showAbout = [&](const std::function<void(CStaticLink&, CStaticLink&)>& act) {
        CModalAnswerer answerer([&](QWidget* dialog) {
            EXPECT_TRUE(Child<QLabel>(dialog, "legalLabel")
                            ->text()
                            .endsWith(QStringLiteral("without warranty.\nLicensed under the GNU "
                                                     "GPL,\nversion 3 or later.")));
            act(*Child<CStaticLink>(dialog, "mailLink"), *Child<CStaticLink>(dialog, "homeLink"));
            dialog->close();
        });
        m_frame->Action(ECommand::AppAbout)->trigger();
    };
    showAbout([&](CStaticLink& mail, CStaticLink& home) {
        QSignalSpy failed(&mail, &CStaticLink::OpenFailed); // after the beep
        QTest::mouseClick(&mail, Qt::LeftButton);
        EXPECT_TRUE(failed.wait());
        EXPECT_EQ(mail.TextColor(), blue);
        QMouseEvent over(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, {}, {});
        QApplication::sendEvent(&home, &over);
        EXPECT_EQ(home.cursor().pixmap().size(), QSize(32, 32)); // the program's own hand
        opener.SetStatus(0);
        QTest::mouseClick(&home, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return home.TextColor() == purple; }));
        QApplication::sendEvent(&home, &over); // for a second after a click, still the arrow
        EXPECT_EQ(home.cursor().shape(), Qt::ArrowCursor);
    });
    showAbout([&](CStaticLink& mail, CStaticLink& home) {
        EXPECT_EQ(home.TextColor(), purple);
        EXPECT_EQ(mail.TextColor(), blue);
        mail.OnClicked();
        mail.OnClicked();
        EXPECT_TRUE(QTest::qWaitFor([&] { return mail.TextColor() == purple; }));
    });
    const std::string mailTo = std::string("mailto:") + CAboutDlg::kMakerMail + "\n";
    EXPECT_EQ(opener.Opened(4), mailTo + "http://www.veldmark.example/\n" + mailTo + mailTo);
    EXPECT_TRUE(m_frame->VisitedLinks().bMail && m_frame->VisitedLinks().bHome);
}

TEST_F(MainFrameTest, PlacementIsStoredOnceItSettlesAndWhenClosing) {
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    m_settings.SetInt("Screen", "cx", work.width() + 1); // stored on a larger screen
    m_settings.SetInt("Screen", "cy", work.height() / 2);
    Open();
    QRect placed = m_frame->geometry();
    EXPECT_TRUE(work.contains(placed));
    EXPECT_LE((placed.center() - work.center()).manhattanLength(), 2); // centred
    EXPECT_EQ(m_settings.GetInt("Screen", "cx", 0), placed.width());

    m_frame->move(placed.topLeft() + QPoint(10, 20));
    m_frame->resize(placed.size() - QSize(30, 40));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_frame->geometry() != placed; }));
    EXPECT_EQ(m_settings.GetInt("Screen", "x", 0), placed.x()); // not while it moves
    EXPECT_EQ(m_settings.GetInt("Screen", "cx", 0), placed.width());
    placed = m_frame->geometry();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return m_settings.GetInt("Screen", "cx", 0) == placed.width(); }));

    m_frame->resize(placed.size() + QSize(5, 5));
    m_frame->close(); // stores what has not settled yet
    EXPECT_EQ(m_settings.GetInt("Screen", "cx", 0), placed.width() + 5);
}

TEST_F(MainFrameTest, TheListKeepsItsHeightUnlessTheSplitterMoves) {
    Open();
    QSplitterHandle* handle = m_frame->Splitter().handle(1);
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(5, 1));
    QTest::mouseMove(handle, QPoint(5, -60));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(5, -60));
    const int high = View().height();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_settings.GetInt("Screen", "High", 0) == high; }));

    for (int grow : {120, -200}) {
        m_frame->resize(m_frame->width(), m_frame->height() + grow);
        const int cy = m_frame->height();
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_settings.GetInt("Screen", "cy", 0) == cy; }));
        EXPECT_EQ(View().height(), high);
    }
    EXPECT_EQ(m_settings.GetInt("Screen", "High", 0), high);
    m_frame.reset();
    Open(); // the stored height is used next time
    EXPECT_EQ(View().height(), high);
}

TEST_F(MainFrameTest, PrintingMakesOnePageForNoRowsAndForAFullPage) {
    Open();
    QPrinter& printer = View().Printer();
    printer.setOutputFileName(QString::fromStdString(m_dir / "out.pdf"));
    const int perPage = CResultsPrinter(View().Results(), View().font()).RowsPerPage(printer);
    auto pagesFor = [&](int rows) {
        View().Results().Clear();
        AddRows(rows);
        View().OnFilePrintDirect();
        const std::string pdf = ReadFile(m_dir / "out.pdf");
        const std::size_t at = pdf.rfind("/Count "); // in the page tree
        return at == std::string::npos ? 0 : std::stoi(pdf.substr(at + 7));
    };
    EXPECT_EQ(pagesFor(0), 1);
    EXPECT_EQ(pagesFor(perPage), 1);
    EXPECT_EQ(pagesFor(perPage + 1), 2);
    printer.setFromTo(2, 2); // a range chosen in the print dialog
    EXPECT_EQ(pagesFor(perPage + 1), 1);
}

TEST_F(MainFrameTest, EveryTopicIsInTheManualAndF1OrHelpOpensItInABrowserOrInTheProgram) {
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(m_dir / "cache")); // the browser's copy
    Open();
    // Every topic asked for, and every link of the manual, has its anchor.
    QFile file(QStringLiteral(":/help/linkvet.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string manual = file.readAll().toStdString();
    Texts anchors;
    for (const SHelpTopic& topic : HelpTopics::kWindows)
        anchors.push_back(HelpTopics::Anchor(topic.context));
    for (std::size_t at = manual.find("=\"#"); at != std::string::npos;
         at = manual.find("=\"#", at + 1))
        anchors.push_back(manual.substr(at + 3, manual.find('"', at + 3) - at - 3));
    for (const std::string& anchor : anchors)
        EXPECT_NE(manual.find("id=\"" + anchor + "\""), std::string::npos) << anchor;

    CFakeOpener opener(m_dir.Path(), 0);
    QTest::keyClick(m_frame.get(), Qt::Key_F1);
    const QString copy = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                         QStringLiteral("/linkvet-manual.html");
    const std::string url = QUrl::fromLocalFile(copy).toString().toStdString();
    EXPECT_EQ(opener.Opened(1), url + "#0x20080\n");
    EXPECT_EQ(ReadFile(copy.toStdString()), manual);
    const auto inPreferences = [this](const std::function<void(QWidget*)>& ask) {
        CModalAnswerer answerer([&](QWidget* dialog) { ask(dialog), dialog->close(); });
        m_frame->Action(ECommand::Preferences)->trigger();
    };
    inPreferences([&](QWidget* dialog) {
        Child<QPushButton>(dialog, "helpButton")->click();
        EXPECT_EQ(opener.Opened(2), url + "#0x20080\n" + url + "#0x20088\n");
    });
    // An opener that fails: the program's own viewer, at the topic of the dialog
    // in which F1 was pressed, and usable over it.
    opener.SetStatus(3);
    inPreferences([this](QWidget* dialog) {
        QTest::keyClick(dialog->focusWidget(), Qt::Key_F1);
        ASSERT_TRUE(QTest::qWaitFor([this] { return m_frame->HelpViewer() != nullptr; }));
        CHelpViewer* viewer = m_frame->HelpViewer();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
        EXPECT_EQ(viewer->parentWidget(), dialog);
        const QTextBlock top = viewer->Browser().cursorForPosition({8, 8}).block();
        EXPECT_EQ(top.text().toStdString(), "Preferences"); // the topic's heading
    });
}

} // namespace
