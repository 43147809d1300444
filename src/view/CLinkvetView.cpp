// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/CLinkvetView.h"

#include "base/AsciiText.h"
#include "dialogs/CExportDlg.h"
#include "dialogs/CPreferencesDlg.h"
#include "dialogs/CRepairDlg.h"
#include "dialogs/CRepairFailureDlg.h"
#include "dialogs/CRepairPreviewDlg.h"
#include "dialogs/CSelectFilesDlg.h"
#include "dialogs/CTestProgressDlg.h"
#include "dialogs/HelpTopics.h"
#include "engine/CConcurrentSession.h"
#include "engine/CFileEnumerator.h"
#include "engine/CTestSession.h"
#include "export/CReportWriter.h"
#include "repair/CRepairEngine.h"
#include "repair/CRestoreEngine.h"
#include "results/CDisplayText.h"
#include "results/CResultsModel.h"
#include "settings/CSettingsStore.h"
#include "view/CResultsPrinter.h"

#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Something readable that is not a folder stands at `path`.
bool IsReadableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) &&
           ::access(path.c_str(), R_OK) == 0;
}

} // namespace

CLinkvetView::CLinkvetView(CSettingsStore& settings, QPlainTextEdit& logPane)
    : m_settings(settings), m_logPane(logPane), m_pModel(std::make_unique<CResultsModel>()) {
    setModel(m_pModel.get());
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setWordWrap(false);
    setShowGrid(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto changed = [this] { emit CommandStatesChanged(); };
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(kFlushMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &CLinkvetView::FlushPending);
    connect(m_pModel.get(), &QAbstractItemModel::rowsInserted, this, changed);
    connect(m_pModel.get(), &QAbstractItemModel::rowsRemoved, this, changed);
    connect(m_pModel.get(), &QAbstractItemModel::modelReset, this, changed);

    m_pSession = std::make_unique<CTestSession>(*this, m_settings);
    m_pRepairEngine = std::make_unique<CRepairEngine>(*m_pModel, *this);
    connect(m_pSession.get(), &CSessionBase::TestFinished, this, [this] {
        FlushPending();
        emit CommandStatesChanged();
    });
}

std::pair<int, int> CLinkvetView::StoredJobs() const {
    const int jobs =
        std::clamp(m_settings.Get(SettingsKeys::kSettingsJobs), 1, CPreferencesDlg::kMaxJobs);
    const int perHost = m_settings.GetInt(SettingsKeys::kSettingsPerHost,
                                          std::min(CConcurrentSession::kDefaultPerHost, jobs));
    return {jobs, std::clamp(perHost, 1, jobs)};
}

void CLinkvetView::ChooseSession() {
    const auto [jobs, perHost] = StoredJobs();
    if (jobs == m_jobs && (jobs == 1 || perHost == m_perHost))
        return;
    // The new session loads the filter and time-out the old one already has in
    // force, perhaps a filter only a cancelled Preferences put there: any word
    // about the stored one was said when the window opened.
    std::vector<std::string> held;
    m_pHeldMessages = &held;
    std::unique_ptr<CSessionBase> pSession;
    if (jobs == 1)
        pSession = std::make_unique<CTestSession>(*this, m_settings);
    else
        pSession = std::make_unique<CConcurrentSession>(*this, m_settings, jobs, perHost);
    m_pHeldMessages = nullptr;
    pSession->TakeOverFrom(*m_pSession);
    m_pSession = std::move(pSession);
    connect(m_pSession.get(), &CSessionBase::TestFinished, this, [this] {
        FlushPending();
        emit CommandStatesChanged();
    });
    m_jobs = jobs;
    m_perHost = perHost;
}

CLinkvetView::~CLinkvetView() {
    m_pSession.reset(); // closes the connection and the progress window first
}

void CLinkvetView::OnInitialUpdate() {
    const int width = viewport()->width();
    const int fallback = width * 9 / 40;
    int widths[4];
    int sum = 0;
    bool bUsable = true;
    for (int i = 0; i < 4; ++i) {
        widths[i] = m_settings.GetInt(SettingsKeys::kGridColumns[i], fallback);
        sum += widths[i];
        bUsable = bUsable && widths[i] != 0 && widths[i] <= width;
    }
    for (int i = 0; i < 4; ++i)
        setColumnWidth(i, bUsable && sum <= width ? widths[i] : fallback);
    m_logPane.setFont(font());
}

bool CLinkvetView::QueryClose() {
    FlushPending();
    BeginWaitCursor();
    m_pModel->RemoveRepairedRows();
    EndWaitCursor();
    if (m_pModel->RowCount() > 0) {
        if (!AskYesNo(kQuitQuestion))
            return false;
        m_pModel->Clear();
    }
    for (int i = 0; i < 4; ++i)
        m_settings.SetInt(SettingsKeys::kGridColumns[i], columnWidth(i));
    return true;
}

bool CLinkvetView::CanSelectFiles() const {
    return !m_pSession->IsTestRunning();
}

bool CLinkvetView::CanStopTest() const {
    return m_pSession->IsTestRunning();
}

bool CLinkvetView::CanExportResults() const {
    return m_pModel->RowCount() > 0 || !m_pendingRows.empty();
}

bool CLinkvetView::CanRepairLinks() const {
    return m_pSession->IsTestEnded() && m_pModel->RowCount() > 0;
}

bool CLinkvetView::CanUndoRepairs() const {
    return !m_pSession->IsTestRunning() && !m_repairedPages.empty();
}

void CLinkvetView::OnSelectFiles() {
    if (!CanSelectFiles())
        return;
    SFileSelection stored{m_settings.Get(SettingsKeys::kFileSelStarter),
                          m_settings.Get(SettingsKeys::kFileSelRecurse) != 0,
                          m_settings.Get(SettingsKeys::kFileSelAllFiles) != 0,
                          m_settings.Get(SettingsKeys::kFileSelFilter) != 0};
    if (stored.bRecurse && !stored.bAllFiles) {
        stored.bRecurse = false;
        m_settings.Set(SettingsKeys::kFileSelRecurse, 0);
    }
    CSelectFilesDlg dlg(m_settings, window());
    dlg.SetSelection(stored);
    if (dlg.exec() != QDialog::Accepted)
        return;

    const SFileSelection& chosen = dlg.Selection();
    m_settings.Set(SettingsKeys::kFileSelRecurse, chosen.bRecurse ? 1 : 0);
    m_settings.Set(SettingsKeys::kFileSelAllFiles, chosen.bAllFiles ? 1 : 0);
    m_settings.Set(SettingsKeys::kFileSelFilter, chosen.bHtmlOnly ? 1 : 0);
    const std::string refusal = CFileEnumerator::CheckSelectedPath(chosen.path, chosen.bAllFiles);
    if (!refusal.empty()) {
        ShowMessage(refusal);
        return;
    }
    m_settings.Set(SettingsKeys::kFileSelStarter, chosen.path);
    ChooseSession();
    m_pSession->StartTest(chosen.path, chosen.bRecurse, chosen.bAllFiles, chosen.bHtmlOnly);
    emit CommandStatesChanged();
}

void CLinkvetView::OnStopTest() {
    m_pSession->OnStopTest();
}

void CLinkvetView::OnExportResults() {
    FlushPending();
    CExportDlg dlg(window());
    dlg.SetChoice({m_settings.Get(SettingsKeys::kXportSelStarter),
                   m_settings.Get(SettingsKeys::kXportSelText)});
    if (dlg.exec() != QDialog::Accepted)
        return;
    const SExportChoice choice = dlg.Choice();
    if (IsReadableFile(choice.path) && !AskYesNo(choice.path + kReplaceQuestion))
        return;
    m_settings.Set(SettingsKeys::kXportSelStarter, choice.path);
    m_settings.Set(SettingsKeys::kXportSelText, choice.format);
    BeginWaitCursor();
    const bool bWritten = CReportWriter::WriteFile(
        choice.path,
        choice.format != 0 ? CReportWriter::EFormat::Html : CReportWriter::EFormat::Text,
        *m_pModel);
    EndWaitCursor();
    if (!bWritten)
        ShowMessage(CReportWriter::kWriteErrorMessage);
}

void CLinkvetView::OnRepairLinks() {
    FlushPending();
    if (m_pSession->HasUnknownReason() && !AskYesNo(kUnknownReasonQuestion))
        return;
    CRepairDlg dlg(window());
    dlg.SetChoice({m_settings.Get(SettingsKeys::kRepairType),
                   m_settings.Get(SettingsKeys::kRepairSave) != 0});
    connect(&dlg, &CRepairDlg::HelpRequested, this,
            [this] { emit HelpRequested(HelpTopics::kRepair); });
    // Empty unless the repair was chosen in the preview: OK alone repairs every page.
    std::set<std::string> skipped;
    connect(&dlg, &CRepairDlg::PreviewRequested, this, [this, &dlg, &skipped] {
        if (ShowRepairPreview(dlg.Choice().type, &dlg, skipped))
            dlg.accept();
        else
            skipped.clear();
    });
    if (dlg.exec() != QDialog::Accepted)
        return;
    const SRepairChoice choice = dlg.Choice();
    m_settings.Set(SettingsKeys::kRepairType, choice.type);
    m_settings.Set(SettingsKeys::kRepairSave, choice.bSaveBadUrls ? 1 : 0);

    const CRepairEngine::SOutcome outcome =
        m_pRepairEngine->RepairLinks(static_cast<CRepairEngine::ERepairType>(choice.type), skipped);
    for (int i = 0; i < m_pModel->RowCount(); ++i)
        if (m_pModel->IsRepaired(i))
            m_repairedPages.insert(m_pModel->Row(i).fileName);
    emit CommandStatesChanged();
    if (outcome.bOk) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Linkvet"),
                        QString::fromUtf8(CRepairEngine::kCompletedMessage), QMessageBox::Ok, this);
        box.exec();
    } else {
        CRepairFailureDlg failure(window());
        failure.SetFailure({outcome.file, outcome.url, false});
        if (failure.exec() == QDialog::Accepted && failure.Failure().bIgnoreUrl &&
            outcome.stoppingRow >= 0)
            m_pModel->RemoveRow(outcome.stoppingRow);
    }
    if (choice.bSaveBadUrls)
        OnExportResults();
}

std::vector<SPreviewPage> CLinkvetView::PreviewRepair(int type) {
    const auto repairType = static_cast<CRepairEngine::ERepairType>(type);
    std::vector<SPreviewPage> pages;
    std::map<std::string, std::size_t> placeOf;
    for (int i = 0; i < m_pModel->RowCount(); ++i)
        if (!m_pModel->IsRepaired(i) &&
            placeOf.try_emplace(m_pModel->Row(i).fileName, pages.size()).second)
            pages.push_back({m_pModel->Row(i).fileName, 0, {}, {}});
    // A run stops at the first page it cannot repair: that page is noted, and
    // the next run starts after it (the pages shown so far are left out), so
    // the whole list is gone through once, however many pages fail.
    std::vector<std::string> messages;
    m_pHeldMessages = &messages;
    std::set<std::string> skipped;
    for (std::size_t runs = 0; runs <= pages.size(); ++runs) {
        messages.clear();
        const CRepairEngine::SPreview preview = m_pRepairEngine->PreviewLinks(repairType, skipped);
        for (const CRepairEngine::SPagePreview& page : preview.pages) {
            if (const auto at = placeOf.find(page.file); at != placeOf.end()) {
                pages[at->second].changes = page.changes;
                pages[at->second].diff = page.diff;
            }
            skipped.insert(page.file);
        }
        const CRepairEngine::SOutcome& outcome = preview.outcome;
        const auto failed = placeOf.find(outcome.file);
        if (outcome.bOk || failed == placeOf.end() || !pages[failed->second].problem.empty())
            break;
        std::string problem;
        for (const std::string& message : messages)
            problem.append(problem.empty() ? "" : "\n").append(message);
        pages[failed->second].problem = problem.empty() ? "This page cannot be repaired." : problem;
        skipped.insert(outcome.file);
    }
    m_pHeldMessages = nullptr;
    // Pages without a change (their rows are all repaired already) are not shown.
    std::erase_if(
        pages, [](const SPreviewPage& page) { return page.diff.empty() && page.problem.empty(); });
    return pages;
}

bool CLinkvetView::ShowRepairPreview(int type, QWidget* dialog, std::set<std::string>& skipped) {
    BeginWaitCursor();
    std::vector<SPreviewPage> pages = PreviewRepair(type);
    EndWaitCursor();
    CRepairPreviewDlg preview(dialog, std::move(pages));
    connect(&preview, &CRepairPreviewDlg::HelpRequested, this,
            [this] { emit HelpRequested(HelpTopics::kRepairPreview); });
    if (preview.exec() != QDialog::Accepted)
        return false;
    skipped = preview.SkippedFiles();
    return true;
}

void CLinkvetView::OnUndoRepairs() {
    if (!CanUndoRepairs())
        return;
    const int count = static_cast<int>(m_repairedPages.size());
    if (!AskYesNo(AsciiText::Fill(kUndoQuestion, std::to_string(count))))
        return;
    BeginWaitCursor();
    std::string refused;
    int restored = 0;
    for (auto it = m_repairedPages.begin(); it != m_repairedPages.end();) {
        std::string why;
        const CRestoreEngine::EResult result = CRestoreEngine().RestorePage(*it, {}, &why);
        if (result != CRestoreEngine::EResult::Restored) {
            refused.append("\n").append(why.empty() ? *it + ": no backup of it was found" : why);
            ++it;
            continue;
        }
        ++restored;
        m_pRepairEngine->ForgetPage(*it);
        for (int i = 0; i < m_pModel->RowCount(); ++i)
            if (m_pModel->Row(i).fileName == *it) {
                m_pModel->SetRepaired(i, false);
                m_pModel->SetFileFinished(i, false);
            }
        it = m_repairedPages.erase(it);
    }
    EndWaitCursor();
    emit CommandStatesChanged();
    std::string told = AsciiText::Fill(kUndoneFormat, std::to_string(restored));
    if (!refused.empty())
        told += std::string("\n\n") + kNotUndoneHeading + refused;
    ShowMessage(told);
}

void CLinkvetView::OnPreferences() {
    CReasonFilter& reasons = m_pSession->Reasons();
    CPreferencesDlg dlg(window(), reasons);
    const auto [jobs, perHost] = StoredJobs();
    const bool bLocalLinks = m_settings.Get(SettingsKeys::kSettingsLocalLinks) != 0;
    dlg.SetPrefs({reasons.TimeoutSeconds(), m_settings.Get(SettingsKeys::kSettingsCurrentWeb) != 0,
                  bLocalLinks, m_settings.Get(SettingsKeys::kSettingsSkipUrls), jobs, perHost});
    connect(&dlg, &CPreferencesDlg::HelpRequested, this,
            [this] { emit HelpRequested(HelpTopics::kPreferences); });
    // The dialog has already put any new filter into effect, even on Cancel.
    if (dlg.exec() != QDialog::Accepted)
        return;
    const SPreferences& prefs = dlg.Prefs();
    m_settings.Set(SettingsKeys::kSettingsTimeout, prefs.timeoutSeconds);
    m_settings.Set(SettingsKeys::kSettingsFilter, reasons.Filter());
    // Only the next test reads it: a running one keeps the mode it started with.
    m_settings.Set(SettingsKeys::kSettingsCurrentWeb, prefs.bCurrentWeb ? 1 : 0);
    // Written only when changed, so a settings file without the list stays so.
    if (prefs.skipUrls != m_settings.Get(SettingsKeys::kSettingsSkipUrls))
        m_settings.Set(SettingsKeys::kSettingsSkipUrls, prefs.skipUrls);
    if (prefs.bLocalLinks != bLocalLinks)
        m_settings.Set(SettingsKeys::kSettingsLocalLinks, prefs.bLocalLinks ? 1 : 0);
    // Likewise: the next test reads them.
    if (prefs.jobs != jobs)
        m_settings.Set(SettingsKeys::kSettingsJobs, prefs.jobs);
    if (prefs.perHost != perHost || prefs.jobs != jobs)
        m_settings.SetInt(SettingsKeys::kSettingsPerHost, prefs.perHost);
    reasons.SetTimeoutSeconds(prefs.timeoutSeconds);
}

void CLinkvetView::OnFilePrint() {
    FlushPending();
    QPrintDialog dialog(&m_printer, this);
    if (dialog.exec() == QDialog::Accepted)
        OnFilePrintDirect();
}

void CLinkvetView::OnFilePrintPreview() {
    FlushPending();
    QPrintPreviewDialog preview(&m_printer, this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { CResultsPrinter(*m_pModel, font()).Print(*printer); });
    preview.exec();
}

void CLinkvetView::OnFilePrintDirect() {
    FlushPending();
    CResultsPrinter(*m_pModel, font()).Print(m_printer);
}

void CLinkvetView::OnFilePrintSetup() {
    QPageSetupDialog(&m_printer, this).exec();
}

void CLinkvetView::ShowMessage(const std::string& text) {
    FlushPending(); // what led to the message is on screen under it
    if (m_pHeldMessages != nullptr) {
        m_pHeldMessages->push_back(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Linkvet"), CDisplayText::FromBytes(text),
                    QMessageBox::Ok, this);
    box.exec();
}

bool CLinkvetView::AskYesNo(const std::string& question) {
    FlushPending();
    QMessageBox box(QMessageBox::Question, QStringLiteral("Linkvet"),
                    CDisplayText::FromBytes(question), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void CLinkvetView::Beep(EBeepKind) {
    ++m_beepCount;
    QApplication::beep();
}

void CLinkvetView::AppendLog(const std::string& text) {
    // The log's lines end in CR LF; the pane shows each as one line break.
    QString line = CDisplayText::FromBytes(text);
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    line.append(QLatin1Char('\n'));
    if (m_jobs > 1 && m_pSession->IsTestRunning()) {
        m_pendingLog += line;
        if (!m_flushTimer.isActive())
            m_flushTimer.start();
        return;
    }
    FlushPending(); // in order: what was held back comes first
    InsertLog(line);
}

void CLinkvetView::FlushPending() {
    m_flushTimer.stop();
    if (!m_pendingRows.empty())
        m_pModel->AddRows(std::exchange(m_pendingRows, {}));
    if (!m_pendingLog.isEmpty())
        InsertLog(std::exchange(m_pendingLog, {}));
}

void CLinkvetView::InsertLog(const QString& lines) {
    QTextCursor cursor(m_logPane.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(lines);
    m_logPane.document()->setModified(false); // appended lines are not the user's edits
    // The caret goes to the end and into view once the event loop turns, so a
    // burst of lines costs one scroll, not one each.
    if (!m_bLogScrollPending) {
        m_bLogScrollPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_bLogScrollPending = false;
                m_logPane.moveCursor(QTextCursor::End);
                m_logPane.ensureCursorVisible();
            },
            Qt::QueuedConnection);
    }
}

void CLinkvetView::ClearLogAndResults() {
    m_flushTimer.stop();
    m_pendingRows.clear();
    m_pendingLog.clear();
    m_logPane.clear();
    m_pModel->Clear();
    m_pRepairEngine = std::make_unique<CRepairEngine>(*m_pModel, *this);
}

void CLinkvetView::AddResultRow(const SResultRow& row) {
    if (m_jobs > 1 && m_pSession->IsTestRunning()) {
        m_pendingRows.push_back(row);
        if (!m_flushTimer.isActive())
            m_flushTimer.start();
        return;
    }
    FlushPending();
    m_pModel->AddRow(row);
}

void CLinkvetView::SetStatusPane(EPane pane, const std::string& text) {
    emit StatusPaneChanged(static_cast<int>(pane), CDisplayText::FromBytes(text));
}

void CLinkvetView::ShowProgress() {
    m_pProgressDlg.reset(new CTestProgressDlg(this));
    connect(m_pProgressDlg.get(), &CTestProgressDlg::StopRequested, this,
            &CLinkvetView::OnStopTest);
    m_pProgressDlg->Create();
    emit CommandStatesChanged(); // a test has started
}

void CLinkvetView::UpdateProgress(const SProgressValues& values) {
    if (m_pProgressDlg)
        m_pProgressDlg->SetValues(values);
}

void CLinkvetView::CloseProgress() {
    // Hidden now, deleted once the event loop turns: Stop Test may come from a
    // key pressed in the progress window itself.
    if (m_pProgressDlg) {
        m_pProgressDlg->hide();
        m_pProgressDlg->disconnect(this);
        m_pProgressDlg.reset();
    }
}

void CLinkvetView::SetActivityIndicator(int position) {
    emit ActivityChanged(position);
}

void CLinkvetView::BeginWaitCursor() {
    ++m_waitCursorDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CLinkvetView::EndWaitCursor() {
    if (m_waitCursorDepth > 0) {
        --m_waitCursorDepth;
        QApplication::restoreOverrideCursor();
    }
}
