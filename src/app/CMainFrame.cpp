// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CMainFrame.h"

#include "dialogs/CAboutDlg.h"
#include "dialogs/CDesktopOpener.h"
#include "dialogs/CHelpViewer.h"
#include "dialogs/HelpTopics.h"
#include "settings/CSettingsStore.h"
#include "view/CLinkvetView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWhatsThis>
#include <algorithm>

namespace {

using ECommand = CMainFrame::ECommand;

// One row per command: its texts, key and toolbar image, what it does, and when
// it is enabled.
struct SCommandRow {
    ECommand command;
    const char* text;
    const char* prompt; // shown in the status bar while the item is highlighted
    const char* tip;
    QKeyCombination key;           // Qt::Key_unknown: none
    const char* icon;              // nullptr: none
    std::function<void()> handler; // empty: not built yet, so never enabled
    std::function<bool()> enabled; // empty: always enabled
};

QAction* MakeAction(QWidget* owner, const SCommandRow& row) {
    auto* action = new QAction(QString::fromUtf8(row.text), owner);
    action->setStatusTip(QString::fromUtf8(row.prompt));
    action->setToolTip(QString::fromUtf8(row.tip));
    if (row.key.key() != Qt::Key_unknown)
        action->setShortcut(QKeySequence(row.key));
    if (row.icon != nullptr) {
        QIcon image;
        image.addFile(QStringLiteral(":/icons/%1.png").arg(QLatin1String(row.icon)));
        image.addFile(QStringLiteral(":/icons/%1@2x.png").arg(QLatin1String(row.icon)));
        action->setIcon(image);
    }
    owner->addAction(action);
    return action;
}

// Adds the actions in order; a null one stands for a separator.
template <typename TBar> void AddActions(TBar* bar, std::initializer_list<QAction*> actions) {
    for (QAction* action : actions) {
        if (action != nullptr)
            bar->addAction(action);
        else
            bar->addSeparator();
    }
}

QLabel* MakePane(const QString& text) {
    auto* pane = new QLabel(text);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane->setTextFormat(Qt::PlainText);
    return pane;
}

} // namespace

// A static library's resources must be registered by hand, before any widget
// of the window looks for an image or the manual.
void CMainFrame::RegisterResources() {
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(help);
}

CMainFrame::CMainFrame(CSettingsStore& settings) : m_settings(settings) {
    RegisterResources();
    setWindowTitle(QStringLiteral("Linkvet"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/select@2x.png")));
    m_layoutTimer.setSingleShot(true);
    m_layoutTimer.setInterval(kSettleMs);
    connect(&m_layoutTimer, &QTimer::timeout, this, &CMainFrame::SaveLayout);
    RestorePlacement();
    CreateClient();
    CreateActions();
    CreateBars();
    SetWhatsThis();
    qApp->installEventFilter(this);
    connect(m_view, &CLinkvetView::CommandStatesChanged, this, &CMainFrame::UpdateCommandStates);
    connect(m_view, &CLinkvetView::StatusPaneChanged, this, &CMainFrame::SetPaneText);
    connect(m_view, &CLinkvetView::ActivityChanged, this, &CMainFrame::SetActivity);
    connect(m_view, &CLinkvetView::HelpRequested, this, &CMainFrame::OnHelp);
    UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
    if (m_layoutTimer.isActive())
        SaveLayout();
    // The view goes first: its test may still hold a connection and a window.
    delete m_view;
}

void CMainFrame::RestorePlacement() {
    int x = m_settings.Get(SettingsKeys::kScreenX);
    int y = m_settings.Get(SettingsKeys::kScreenY);
    int cx = m_settings.Get(SettingsKeys::kScreenCx);
    int cy = m_settings.Get(SettingsKeys::kScreenCy);
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const int W = work.width();
    const int H = work.height();
    if (!(cx > 0 && cy > 0 && x >= 0 && y >= 0 && cx <= W && cy <= H && x <= W && y <= H)) {
        cx = static_cast<int>(W * 0.75);
        cy = static_cast<int>(H * 0.75);
        x = (W - cx) / 2;
        y = (H - cy) / 2;
        m_settings.Set(SettingsKeys::kScreenX, x);
        m_settings.Set(SettingsKeys::kScreenY, y);
        m_settings.Set(SettingsKeys::kScreenCx, cx);
        m_settings.Set(SettingsKeys::kScreenCy, cy);
    }
    setGeometry(x, y, cx, cy);
}

void CMainFrame::SavePlacement() {
    if (!m_bShown || (windowState() & Qt::WindowMinimized) != 0)
        return;
    const QRect placed = geometry();
    const int values[4] = {std::max(placed.x(), 0), std::max(placed.y(), 0), placed.width(),
                           placed.height()};
    const SIntSetting keys[4] = {SettingsKeys::kScreenX, SettingsKeys::kScreenY,
                                 SettingsKeys::kScreenCx, SettingsKeys::kScreenCy};
    for (int i = 0; i < 4; ++i)
        if (m_settings.GetInt(keys[i].section, keys[i].name, -1) != values[i])
            m_settings.Set(keys[i], values[i]);
}

void CMainFrame::SaveLayout() {
    m_layoutTimer.stop();
    SavePlacement();
    if (m_bHeightMoved) {
        m_bHeightMoved = false;
        m_settings.Set(SettingsKeys::kScreenHigh, m_view->height());
    }
}

// A drag moves or resizes the window many times a second; only where it comes
// to rest is worth storing.
void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    m_layoutTimer.start();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    m_layoutTimer.start();
}

void CMainFrame::CreateClient() {
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setChildrenCollapsible(false);
    m_log = new QPlainTextEdit;
    m_log->setUndoRedoEnabled(false);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view = new CLinkvetView(m_settings, *m_log);
    m_splitter->addWidget(m_view);
    m_splitter->addWidget(m_log);
    // The list keeps its height when the window changes size; the log takes the
    // difference. Only the user's own move of the splitter changes the stored height.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] {
        m_bHeightMoved = true;
        m_layoutTimer.start();
    });
    setCentralWidget(m_splitter);
    m_view->setFocus();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_bShown)
        return;
    m_bShown = true;
    // The upper row keeps its stored height when it is less than the window's
    // client height (bars included, the menu not), else it gets half of that.
    const int client = height() - menuBar()->height();
    const int high = m_settings.Get(SettingsKeys::kScreenHigh);
    const int upper = high > 0 && high < client ? high : client / 2;
    const int lower = m_splitter->height() - m_splitter->handleWidth() - upper;
    m_splitter->setSizes({upper, std::max(lower, 1)});
    m_view->OnInitialUpdate();
    m_layoutTimer.start();
}

void CMainFrame::CreateActions() {
    CLinkvetView* view = m_view;
    const SCommandRow rows[] = {
        {ECommand::SelectFiles, "&Select File(s)...", "Select file(s) to test", "Test File(s)",
         Qt::CTRL | Qt::Key_O, "select", std::bind_front(&CLinkvetView::OnSelectFiles, view),
         std::bind_front(&CLinkvetView::CanSelectFiles, view)},
        {ECommand::ExportResults, "&Export Results...", "Export Test Results after choosing format",
         "Export", Qt::CTRL | Qt::Key_S, "export",
         std::bind_front(&CLinkvetView::OnExportResults, view),
         std::bind_front(&CLinkvetView::CanExportResults, view)},
        {ECommand::RepairLinks, "Repair Failed &Links...", "Repair bad links in source file",
         "Repair", Qt::Key_F5, "repair", std::bind_front(&CLinkvetView::OnRepairLinks, view),
         std::bind_front(&CLinkvetView::CanRepairLinks, view)},
        {ECommand::UndoRepairs, "&Undo Repairs...",
         "Put the repaired pages back from their backups", "Undo Repairs", Qt::Key_unknown, nullptr,
         std::bind_front(&CLinkvetView::OnUndoRepairs, view),
         std::bind_front(&CLinkvetView::CanUndoRepairs, view)},
        {ECommand::FilePrint, "&Print...", "Print the active document", "Print",
         Qt::CTRL | Qt::Key_P, "print", std::bind_front(&CLinkvetView::OnFilePrint, view), nullptr},
        {ECommand::FilePrintPreview, "Print Pre&view", "Display full pages", "Print Preview",
         Qt::Key_unknown, nullptr, std::bind_front(&CLinkvetView::OnFilePrintPreview, view),
         nullptr},
        {ECommand::FilePrintSetup, "P&rint Setup...", "Change the printer and printing options",
         "Print Setup", Qt::Key_unknown, nullptr,
         std::bind_front(&CLinkvetView::OnFilePrintSetup, view), nullptr},
        {ECommand::AppExit, "E&xit", "Quit the application; prompts to save documents", "Exit",
         Qt::Key_unknown, nullptr, [this] { close(); }, nullptr},
        {ECommand::ViewStatusBar, "&Status Bar", "Show or hide the status bar", "Toggle StatusBar",
         Qt::Key_unknown, nullptr,
         [this] { statusBar()->setVisible(Action(ECommand::ViewStatusBar)->isChecked()); },
         nullptr},
        {ECommand::Preferences, "&Preferences...", "Linkvet Preferences", "Preferences", Qt::Key_F2,
         "preferences", std::bind_front(&CLinkvetView::OnPreferences, view), nullptr},
        {ECommand::StopTest, "&Stop Test", "Stop", "Stop", Qt::Key_Escape, "stop",
         std::bind_front(&CLinkvetView::OnStopTest, view),
         std::bind_front(&CLinkvetView::CanStopTest, view)},
        {ECommand::HelpFinder, "&Help Topics", "List Help topics", "Help Topics", Qt::Key_unknown,
         nullptr, [this] { OnHelp(HelpTopics::kContents); }, nullptr},
        {ECommand::AppAbout, "&About Linkvet...",
         "Display program information, version number and copyright", "About", Qt::Key_unknown,
         "about", [this] { OnAppAbout(); }, nullptr},
        {ECommand::Help, "Help", "Display help", "Help", Qt::Key_F1, nullptr,
         [this] { OnHelp(HelpTopics::kMainFrame); }, nullptr},
        {ECommand::ContextHelp, "What's This?",
         "Display help for clicked on buttons, menus and windows", "Help", Qt::SHIFT | Qt::Key_F1,
         nullptr, [] { QWhatsThis::enterWhatsThisMode(); }, nullptr},
        {ECommand::NextPane, "Next Pane", "Switch to the next window pane", "Next Pane", Qt::Key_F6,
         nullptr, [this] { OnNextPane(); }, nullptr},
        {ECommand::PrevPane, "Previous Pane", "Switch back to the previous window pane",
         "Previous Pane", Qt::SHIFT | Qt::Key_F6, nullptr, [this] { OnNextPane(); }, nullptr},
    };
    for (const SCommandRow& row : rows) {
        const auto at = static_cast<std::size_t>(row.command);
        m_actions[at] = MakeAction(this, row);
        if (row.handler)
            connect(m_actions[at], &QAction::triggered, this, row.handler);
        m_enabledRules[at] = row.handler ? row.enabled : [] { return false; };
    }
    Action(ECommand::ViewStatusBar)->setCheckable(true);
    Action(ECommand::ViewStatusBar)->setChecked(true);
}

void CMainFrame::CreateBars() {
    auto* toolbar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolbar->setObjectName(QStringLiteral("mainToolBar"));
    toolbar->setIconSize(QSize(16, 16));
    AddActions(toolbar, {Action(ECommand::SelectFiles), Action(ECommand::ExportResults),
                         Action(ECommand::RepairLinks), nullptr, Action(ECommand::FilePrint),
                         nullptr, Action(ECommand::Preferences), Action(ECommand::StopTest),
                         nullptr, Action(ECommand::AppAbout)});
    addToolBar(Qt::TopToolBarArea, toolbar);
    // The toolbar's own toggle follows it however it is hidden.
    QAction* toggleToolbar = toolbar->toggleViewAction();
    toggleToolbar->setText(QStringLiteral("&Toolbar"));
    toggleToolbar->setStatusTip(QStringLiteral("Show or hide the toolbar"));
    m_actions[static_cast<std::size_t>(ECommand::ViewToolbar)] = toggleToolbar;

    AddActions(menuBar()->addMenu(QStringLiteral("&File")),
               {Action(ECommand::SelectFiles), Action(ECommand::ExportResults),
                Action(ECommand::RepairLinks), Action(ECommand::UndoRepairs), nullptr,
                Action(ECommand::FilePrint), Action(ECommand::FilePrintPreview),
                Action(ECommand::FilePrintSetup), nullptr, Action(ECommand::AppExit)});
    AddActions(menuBar()->addMenu(QStringLiteral("&View")),
               {toggleToolbar, Action(ECommand::ViewStatusBar)});
    AddActions(menuBar()->addMenu(QStringLiteral("&Linkvet")),
               {Action(ECommand::Preferences), Action(ECommand::StopTest)});
    AddActions(menuBar()->addMenu(QStringLiteral("&Help")),
               {Action(ECommand::HelpFinder), nullptr, Action(ECommand::AppAbout)});

    // Pane 0 stretches and shows prompts; panes 1 to 3 are as wide as their
    // first texts.
    m_panes = {MakePane(QStringLiteral("For Help, press F1")),
               MakePane(QStringLiteral("Connection Status")),
               MakePane(QStringLiteral("HTTP Method Status")), MakePane(QString())};
    m_panes[0]->setFrameStyle(QFrame::NoFrame);
    const QFontMetrics metrics(statusBar()->font());
    const int margins = 2 * m_panes[1]->frameWidth() + 8;
    m_panes[1]->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("Connection Status") +
                                                        QString(41, QLatin1Char(' '))) +
                              margins);
    m_panes[2]->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("HTTP Method Status") +
                                                        QString(17, QLatin1Char(' '))) +
                              margins);
    m_panes[3]->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("MMMM")) + margins);
    statusBar()->addWidget(m_panes[0], 1);
    for (int i = 1; i < 4; ++i)
        statusBar()->addPermanentWidget(m_panes[static_cast<std::size_t>(i)]);
}

void CMainFrame::SetPaneText(int pane, const QString& text) {
    if (pane >= 1 && pane <= 2)
        m_panes[static_cast<std::size_t>(pane)]->setText(text);
}

QString CMainFrame::PaneText(int pane) const {
    return pane >= 0 && pane <= 3 ? m_panes[static_cast<std::size_t>(pane)]->text() : QString();
}

void CMainFrame::SetActivity(int position) {
    if (m_pActivity == nullptr) {
        auto* layout = new QVBoxLayout(m_panes[3]);
        layout->setContentsMargins(2, 2, 2, 2);
        m_pActivity = new QProgressBar;
        m_pActivity->setRange(0, 1);
        m_pActivity->setTextVisible(false);
        layout->addWidget(m_pActivity);
    }
    m_pActivity->setValue(position);
}

void CMainFrame::UpdateCommandStates() {
    for (std::size_t i = 0; i < kCommandCount; ++i)
        if (m_enabledRules[i])
            m_actions[i]->setEnabled(m_enabledRules[i]());
}

void CMainFrame::OnNextPane() {
    if (m_view->hasFocus())
        m_log->setFocus();
    else
        m_view->setFocus();
}

void CMainFrame::SetWhatsThis() {
    const std::pair<ECommand, const char*> texts[] = {
        {ECommand::SelectFiles, "Names a page or a folder of pages and tests their links."},
        {ECommand::ExportResults, "Saves the list of bad links as a text or an HTML report."},
        {ECommand::RepairLinks,
         "Disables, replaces or removes the listed links in their pages, keeping a backup "
         "of each page."},
        {ECommand::UndoRepairs,
         "Puts every page this window has repaired back as it was, from its backup."},
        {ECommand::FilePrint, "Prints the list of bad links."},
        {ECommand::Preferences,
         "Chooses the reasons that are listed and how long a host may take."},
        {ECommand::StopTest, "Stops the running test; the links found so far stay listed."},
        {ECommand::AppAbout, "Shows the program's version and its maker."},
    };
    for (const auto& [command, text] : texts)
        Action(command)->setWhatsThis(QString::fromUtf8(text));
    const QString list = QStringLiteral(
        "The bad links of the last test: the URL, why it failed, its link text and its page. "
        "Which reasons are listed is set in Preferences.");
    m_view->setWhatsThis(list);
    m_view->viewport()->setWhatsThis(list);
    m_log->setWhatsThis(QStringLiteral("The log of the test: when it started and ended, and each "
                                       "file tested with the number of its links."));
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1)
        return QMainWindow::eventFilter(watched, event);
    // The main window has its own keys; its dialogs get them here, each for its topic.
    const QWidget* window = static_cast<QWidget*>(watched)->window();
    const int context = HelpTopics::ContextOf(window->objectName().toStdString());
    const Qt::KeyboardModifiers modifiers = static_cast<QKeyEvent*>(event)->modifiers();
    if (window == this || context == HelpTopics::kContents)
        return QMainWindow::eventFilter(watched, event);
    if (modifiers == Qt::ShiftModifier)
        QWhatsThis::enterWhatsThisMode();
    else if (modifiers == Qt::NoModifier)
        OnHelp(context);
    else
        return QMainWindow::eventFilter(watched, event);
    return true;
}

void CMainFrame::OnHelp(int context) {
    const std::string anchor = HelpTopics::Anchor(context);
    // The manual ships inside the program; a browser needs it as a file.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString manual = folder + QStringLiteral("/linkvet-manual.html");
    QDir().mkpath(folder);
    QFile::remove(manual);
    QUrl url = QUrl::fromLocalFile(manual);
    if (!anchor.empty())
        url.setFragment(QString::fromStdString(anchor));
    if (!QFile::copy(QStringLiteral(":/help/linkvet.html"), manual)) {
        ShowHelpViewer(anchor);
        return;
    }
    connect(CDesktopOpener::Open(url), &CDesktopOpener::Finished, this,
            [this, anchor](bool bOpened) {
                if (!bOpened)
                    ShowHelpViewer(anchor);
            });
}

void CMainFrame::ShowHelpViewer(const std::string& anchor) {
    // Over the window that is modal now, since a modal dialog would block any other.
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr)
        owner = this;
    if (m_pHelpViewer == nullptr || m_pHelpViewer->parentWidget() != owner) {
        if (m_pHelpViewer != nullptr)
            m_pHelpViewer->close();
        m_pHelpViewer = new CHelpViewer(owner);
        m_pHelpViewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_pHelpViewer->ShowTopic(anchor);
    m_pHelpViewer->show();
    m_pHelpViewer->raise();
    m_pHelpViewer->activateWindow();
}

void CMainFrame::OnAppAbout() {
    CAboutDlg dialog(this, m_visitedLinks);
    dialog.exec();
    m_visitedLinks = dialog.VisitedLinks();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_view->QueryClose()) {
        event->ignore();
        return;
    }
    SaveLayout();
    event->accept();
}
