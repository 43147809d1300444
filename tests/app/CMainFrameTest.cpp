#include "app/CMainFrame.h"

#include "app/CSettingsStore.h"
#include "dialogs/CTestProgressDlg.h"
#include "engine/CFileEnumerator.h"
#include "engine/CTestSession.h"
#include "results/CLinkvetView.h"
#include "results/CResultsModel.h"
#include "results/CResultsPrinter.h"
#include "support/CLoopbackServer.h"
#include "support/CModalAnswerer.h"
#include "support/TestUtil.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using Command = CMainFrame::Command;

template <typename T> T* Child(QWidget* parent, const char* name) {
    return parent->findChild<T*>(QLatin1String(name));
}

// Fills the Select File(s) dialog and presses OK.
CModalAnswerer::Answer Select(const std::string& path, bool bAllFiles = false) {
    return [path, bAllFiles](QWidget* dialog) {
        Child<QLineEdit>(dialog, "pathEdit")->setText(QString::fromStdString(path));
        if (Child<QCheckBox>(dialog, "allFilesCheck")->isChecked() != bAllFiles)
            Child<QCheckBox>(dialog, "allFilesCheck")->click();
        Child<QPushButton>(dialog, "okButton")->click();
    };
}

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
    bool Enabled(Command command) { return m_frame->Action(command)->isEnabled(); }
    std::string Log() { return m_frame->LogPane().toPlainText().toStdString(); }
    void AddRows(int count, bool bRepaired = false) {
        for (int i = 0; i < count; ++i) {
            View().AddResultRow({"http://h/" + std::to_string(i), "HTTP Code 404 Not Found", "name",
                                 "/site/page.htm"});
            View().Results().SetRepaired(View().Results().RowCount() - 1, bRepaired);
        }
    }

    CTempDir m_dir;
    CSettingsStore m_settings;
    std::unique_ptr<CMainFrame> m_frame;
};

TEST_F(MainFrameTest, ATestRunsFromCtrlOToSearchComplete) {
    CLoopbackServer ok("127.0.0.1", 0, CLoopbackServer::Reply("HTTP/1.0 200 OK\r\n"));
    CLoopbackServer gone("127.0.0.2", ok.Port(), CLoopbackServer::Reply("HTTP/1.0 404 Gone\r\n"));
    const std::string page = m_dir / "page.htm";
    WriteFile(page,
              "<a href=\"http://127.0.0.1/\">Fine</a>\n<a href=\"http://127.0.0.2/x\">Gone</a>");
    Open();
    View().Session().SetPorts(ok.Port(), ok.Port());
    CModalAnswerer answerer(Select(page));
    QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(Enabled(Command::StopTest));
    EXPECT_FALSE(Enabled(Command::SelectFiles));
    EXPECT_TRUE(RunUntil([&] { return View().findChild<CTestProgressDlg*>() != nullptr; }));
    ASSERT_TRUE(
        RunUntil([&] { return m_frame->PaneText(1) == QStringLiteral("Search Complete"); }));

    const CResultsModel& rows = View().Results();
    ASSERT_EQ(rows.RowCount(), 1);
    EXPECT_EQ(rows.Row(0),
              (SResultRow{"http://127.0.0.2/x", "HTTP Code 404 Not Found", "Gone", page, 0}));
    EXPECT_NE(Log().find("\nResults for " + page + ": URLs tested: 2. URL errors: 1.\n\nEnd of"),
              std::string::npos)
        << Log();
    EXPECT_EQ(View().BeepCount(), 1);
    for (CTestProgressDlg* left : View().findChildren<CTestProgressDlg*>())
        EXPECT_FALSE(left->isVisible());
    EXPECT_EQ(m_settings.GetString("FileSel", "Starter", ""), page);
    EXPECT_TRUE(Enabled(Command::SelectFiles));
    EXPECT_FALSE(Enabled(Command::StopTest));
    // Commands not built yet stay disabled, even where their rules would hold.
    for (Command unbuilt : {Command::ExportResults, Command::RepairLinks, Command::Preferences})
        EXPECT_FALSE(Enabled(unbuilt));
    EXPECT_TRUE(answerer.m_messages.empty());
}

TEST_F(MainFrameTest, EscStopsTheTestAndTheWindowKeepsWorking) {
    CLoopbackServer silent("127.0.0.7", 0, CLoopbackServer::Silent());
    const std::string page = m_dir / "page.htm";
    WriteFile(page, "<a href=\"http://127.0.0.7/\">Silent</a>");
    Open();
    View().Session().SetPorts(silent.Port(), silent.Port());
    {
        CModalAnswerer answerer(Select(page));
        QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    }
    ASSERT_TRUE(RunUntil([&] { return silent.Requests().size() == 1; }));
    // The progress window leaves the keyboard with the main window.
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(Log().substr(Log().size() - 24), "Testing Stopped by User\n");
    EXPECT_EQ(m_frame->PaneText(1), QStringLiteral("Connection Status"));
    EXPECT_EQ(m_frame->PaneText(2), QStringLiteral("HTTP Method Status"));
    EXPECT_TRUE(Enabled(Command::SelectFiles));

    // Esc in the progress window stops the test too, and the window goes.
    {
        CModalAnswerer answerer(Select(page));
        QTest::keyClick(m_frame.get(), Qt::Key_O, Qt::ControlModifier);
    }
    ASSERT_TRUE(RunUntil([&] { return silent.Requests().size() == 2; }));
    CTestProgressDlg* progress = View().findChild<CTestProgressDlg*>();
    ASSERT_NE(progress, nullptr);
    // A title and nothing else (no system menu, no buttons), and no resizing.
    EXPECT_EQ(progress->windowFlags() & ~Qt::WindowType_Mask,
              Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    EXPECT_EQ(progress->minimumSize(), progress->maximumSize());
    QTest::keyClick(progress, Qt::Key_Escape);
    EXPECT_FALSE(View().Session().IsTestRunning());
    EXPECT_EQ(Log().substr(Log().size() - 24), "Testing Stopped by User\n");
    QTest::qWait(50); // the window is deleted once the event loop turns
    for (CTestProgressDlg* left : View().findChildren<CTestProgressDlg*>())
        EXPECT_FALSE(left->isVisible());
}

TEST_F(MainFrameTest, SelectFilesChecksThePathAndKeepsItsChoices) {
    Open();
    m_settings.SetInt("FileSel", "Recurse", 1); // set by hand, without AllFiles
    bool bRecurseShown = true;
    {
        CModalAnswerer cancel([&](QWidget* modal) {
            auto* all = Child<QCheckBox>(modal, "allFilesCheck");
            auto* recurse = Child<QCheckBox>(modal, "recurseCheck");
            auto* cancelButton = Child<QPushButton>(modal, "cancelButton");
            // OK and Cancel stand side by side right of the check boxes, level
            // with the last of them.
            const QRect lastCheck = Child<QCheckBox>(modal, "htmlOnlyCheck")->geometry();
            const QRect ok = Child<QPushButton>(modal, "okButton")->geometry();
            EXPECT_GT(ok.left(), lastCheck.right());
            EXPECT_GT(cancelButton->x(), ok.right());
            EXPECT_EQ(cancelButton->y(), ok.y());
            EXPECT_LE(ok.bottom(), lastCheck.bottom());

            bRecurseShown = recurse->isChecked();
            recurse->click(); // checks both
            EXPECT_TRUE(all->isChecked());
            all->click(); // clears both
            EXPECT_FALSE(recurse->isChecked());
            all->click(); // only itself
            EXPECT_FALSE(recurse->isChecked());
            cancelButton->click();
        });
        View().OnSelectFiles();
    }
    EXPECT_FALSE(bRecurseShown);
    EXPECT_EQ(m_settings.GetInt("FileSel", "Recurse", 9), 0);
    EXPECT_EQ(m_settings.GetInt("FileSel", "AllFiles", 9), 9); // Cancel stores nothing

    WriteFile(m_dir / "page.htm", "x");
    const std::pair<std::string, bool> refused[] = {{m_dir.Path(), false},
                                                    {m_dir / "page.htm", true}};
    for (const auto& [path, bAll] : refused) {
        CModalAnswerer ok(Select(path, bAll));
        View().OnSelectFiles();
        ASSERT_EQ(ok.m_messages.size(), 1u);
        EXPECT_EQ(ok.m_messages[0], bAll ? CFileEnumerator::kNoSuchFolderMessage
                                         : CFileEnumerator::kNoSuchFileMessage);
        EXPECT_EQ(m_settings.GetInt("FileSel", "AllFiles", 9), bAll ? 1 : 0);
        EXPECT_EQ(m_settings.GetString("FileSel", "Starter", "none"), "none");
    }
}

TEST_F(MainFrameTest, ClosingDropsRepairedRowsAndAsksAboutTheRest) {
    Open();
    const int widths[4] = {50, 60, 70, 80};
    for (int i = 0; i < 4; ++i)
        View().setColumnWidth(i, widths[i]);
    AddRows(3, true); // every row repaired: they go, no question, widths saved
    {
        CModalAnswerer answerer;
        m_frame->close();
        EXPECT_TRUE(answerer.m_messages.empty());
    }
    EXPECT_FALSE(m_frame->isVisible());
    Open();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(View().columnWidth(i), widths[i]);
    m_settings.SetInt("Grid", "col3", 0); // one unusable width: all four share the width
    Open();
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(View().columnWidth(i), View().columnWidth(0));

    m_settings.SetInt("Grid", "col0", 7);
    AddRows(2, true);
    AddRows(1, false);
    AddRows(1, true);
    {
        CModalAnswerer answerer({}, QStringLiteral("No"));
        m_frame->close();
        EXPECT_EQ(answerer.m_messages, std::vector<std::string>{CLinkvetView::kQuitQuestion});
    }
    EXPECT_TRUE(m_frame->isVisible());
    EXPECT_EQ(View().Results().RowCount(), 1); // the repaired rows are gone
    EXPECT_EQ(m_settings.GetInt("Grid", "col0", -1), 7);
    {
        CModalAnswerer answerer({}, QStringLiteral("Yes"));
        m_frame->close();
    }
    EXPECT_FALSE(m_frame->isVisible());
    EXPECT_EQ(View().Results().RowCount(), 0);
}

TEST_F(MainFrameTest, PlacementIsStoredOnceItSettlesAndWhenClosing) {
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    m_settings.SetInt("Screen", "cx", work.width() + 1); // stored on a larger screen
    Open();
    QRect placed = m_frame->geometry();
    EXPECT_TRUE(work.contains(placed));
    EXPECT_NEAR(placed.center().x(), work.center().x(), 1);
    EXPECT_NEAR(placed.center().y(), work.center().y(), 1);
    EXPECT_EQ(m_settings.GetInt("Screen", "cx", 0), placed.width());

    m_frame->move(placed.topLeft() + QPoint(10, 20));
    m_frame->resize(placed.size() - QSize(30, 40));
    ASSERT_TRUE(RunUntil([&] { return m_frame->geometry() != placed; }));
    EXPECT_EQ(m_settings.GetInt("Screen", "cx", 0), placed.width()); // not while it moves
    placed = m_frame->geometry();
    ASSERT_TRUE(RunUntil([&] { return m_settings.GetInt("Screen", "cx", 0) == placed.width(); }));
    EXPECT_EQ(m_settings.GetInt("Screen", "x", 0), placed.x());

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
    EXPECT_EQ(m_settings.GetInt("Screen", "High", 0), 0); // not while it moves
    ASSERT_TRUE(RunUntil([&] { return m_settings.GetInt("Screen", "High", 0) == high; }));

    for (int grow : {120, -200}) {
        m_frame->resize(m_frame->width(), m_frame->height() + grow);
        const int cy = m_frame->height();
        ASSERT_TRUE(RunUntil([&] { return m_settings.GetInt("Screen", "cy", 0) == cy; }));
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
    printer.setOutputFormat(QPrinter::PdfFormat);
    const int perPage = CResultsPrinter(View().Results(), View().font()).RowsPerPage(printer);
    ASSERT_GT(perPage, 10);
    auto pagesFor = [&](int rows) {
        View().Results().Clear();
        AddRows(rows);
        const std::string pdf = m_dir / ("out" + std::to_string(rows) + ".pdf");
        printer.setOutputFileName(QString::fromStdString(pdf));
        View().OnFilePrintDirect();
        const std::string bytes = ReadFile(pdf);
        int pages = 0;
        for (std::size_t at = bytes.find("/Type /Page"); at != std::string::npos;
             at = bytes.find("/Type /Page", at + 1))
            pages += bytes.compare(at, 12, "/Type /Pages") != 0 ? 1 : 0;
        return pages;
    };
    EXPECT_EQ(pagesFor(0), 1);
    EXPECT_EQ(pagesFor(perPage), 1);
    EXPECT_EQ(pagesFor(perPage + 1), 2);
    printer.setFromTo(2, 2); // a range chosen in the print dialog
    EXPECT_EQ(pagesFor(perPage + 1), 1);
    printer.setFromTo(0, 0);
    EXPECT_EQ(View().Results().GetPrintLine(0),
              "http://h/0 - HTTP Code 404 Not Found - name - /site/page.htm");
}

} // namespace
