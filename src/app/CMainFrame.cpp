#include "app/CMainFrame.h"

#include "app/CSettingsStore.h"
#include "results/CLinkvetView.h"
#include "results/CResultsModel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
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

// Design ids of the commands, kept as object names so each action can be found.
QAction* MakeAction(QWidget* owner, const char* id, const QString& text, const QString& prompt,
                    const QString& tip, const QKeySequence& key = QKeySequence(),
                    const char* icon = nullptr) {
    auto* action = new QAction(text, owner);
    action->setObjectName(QLatin1String(id));
    action->setStatusTip(prompt);
    action->setToolTip(tip);
    if (!key.isEmpty())
        action->setShortcut(key);
    if (icon != nullptr) {
        QIcon image;
        image.addFile(QStringLiteral(":/icons/%1.png").arg(QLatin1String(icon)));
        image.addFile(QStringLiteral(":/icons/%1@2x.png").arg(QLatin1String(icon)));
        action->setIcon(image);
    }
    owner->addAction(action);
    return action;
}

QLabel* MakePane(const QString& text) {
    auto* pane = new QLabel(text);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane->setTextFormat(Qt::PlainText);
    return pane;
}

} // namespace

// The images and the manual are built into the library; a static library's
// resources must be registered by hand.
static void InitResources() {
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(help);
}

CMainFrame::CMainFrame(CSettingsStore& settings) : m_settings(settings) {
    InitResources();
    setWindowTitle(QStringLiteral("Linkvet"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/select@2x.png")));
    RestorePlacement();
    CreateClient();
    CreateActions();
    CreateBars();
    connect(m_view, &CLinkvetView::CommandStatesChanged, this, &CMainFrame::UpdateCommandStates);
    UpdateCommandStates();
    m_doc.OnNewDocument();
}

CMainFrame::~CMainFrame() {
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

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    SavePlacement();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    SavePlacement();
}

void CMainFrame::CreateClient() {
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setChildrenCollapsible(false);
    m_log = new QPlainTextEdit;
    m_log->setUndoRedoEnabled(false);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view = new CLinkvetView(m_settings, *this, *m_log);
    m_splitter->addWidget(m_view);
    m_splitter->addWidget(m_log);
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
    SavePlacement();
}

void CMainFrame::CreateActions() {
    CLinkvetView* view = m_view;
    auto on = [this](QAction* action, auto handler) {
        connect(action, &QAction::triggered, this, handler);
    };
    on(MakeAction(this, "ID_SELECT_FILES", QStringLiteral("&Select File(s)..."),
                  QStringLiteral("Select file(s) to test"), QStringLiteral("Test File(s)"),
                  QKeySequence(Qt::CTRL | Qt::Key_O), "select"),
       [view] { view->OnSelectFiles(); });
    on(MakeAction(this, "ID_EXPORT_RESULTS", QStringLiteral("&Export Results..."),
                  QStringLiteral("Export Test Results after choosing format"),
                  QStringLiteral("Export"), QKeySequence(Qt::CTRL | Qt::Key_S), "export"),
       [view] { view->OnExportResults(); });
    on(MakeAction(this, "ID_REPAIR_LINKS", QStringLiteral("Repair Failed &Links..."),
                  QStringLiteral("Repair bad links in source file"), QStringLiteral("Repair"),
                  QKeySequence(Qt::Key_F5), "repair"),
       [view] { view->OnRepairLinks(); });
    on(MakeAction(this, "ID_FILE_PRINT", QStringLiteral("&Print..."),
                  QStringLiteral("Print the active document"), QStringLiteral("Print"),
                  QKeySequence(Qt::CTRL | Qt::Key_P), "print"),
       [view] { view->OnFilePrint(); });
    on(MakeAction(this, "ID_FILE_PRINT_PREVIEW", QStringLiteral("Print Pre&view"),
                  QStringLiteral("Display full pages"), QStringLiteral("Print Preview")),
       [view] { view->OnFilePrintPreview(); });
    on(MakeAction(this, "ID_FILE_PRINT_SETUP", QStringLiteral("P&rint Setup..."),
                  QStringLiteral("Change the printer and printing options"),
                  QStringLiteral("Print Setup")),
       [view] { view->OnFilePrintSetup(); });
    on(MakeAction(this, "ID_APP_EXIT", QStringLiteral("E&xit"),
                  QStringLiteral("Quit the application; prompts to save documents"),
                  QStringLiteral("Exit")),
       [this] { close(); });
    on(MakeAction(this, "ID_PREFERENCES", QStringLiteral("&Preferences..."),
                  QStringLiteral("Linkvet Preferences"), QStringLiteral("Preferences"),
                  QKeySequence(Qt::Key_F2), "preferences"),
       [view] { view->OnPreferences(); });
    on(MakeAction(this, "ID_STOP_TEST", QStringLiteral("&Stop Test"), QStringLiteral("Stop"),
                  QStringLiteral("Stop"), QKeySequence(Qt::Key_Escape), "stop"),
       [view] { view->OnStopTest(); });
    on(MakeAction(this, "ID_HELP_FINDER", QStringLiteral("&Help Topics"),
                  QStringLiteral("List Help topics"), QStringLiteral("Help Topics")),
       [this] { OnHelp(QString()); });
    on(MakeAction(this, "ID_APP_ABOUT", QStringLiteral("&About Linkvet..."),
                  QStringLiteral("Display program information, version number and copyright"),
                  QStringLiteral("About"), QKeySequence(), "about"),
       [this] { OnAppAbout(); });
    on(MakeAction(this, "ID_HELP", QStringLiteral("Help"), QStringLiteral("Display help"),
                  QStringLiteral("Help"), QKeySequence(Qt::Key_F1)),
       [this] { OnHelp(QStringLiteral("main")); });
    on(MakeAction(this, "ID_CONTEXT_HELP", QStringLiteral("What's This?"),
                  QStringLiteral("Display help for clicked on buttons, menus and windows"),
                  QStringLiteral("Help"), QKeySequence(Qt::SHIFT | Qt::Key_F1)),
       [] { QWhatsThis::enterWhatsThisMode(); });
    on(MakeAction(this, "ID_NEXT_PANE", QStringLiteral("Next Pane"),
                  QStringLiteral("Switch to the next window pane"), QStringLiteral("Next Pane"),
                  QKeySequence(Qt::Key_F6)),
       [this] { OnNextPane(); });
    on(MakeAction(this, "ID_PREV_PANE", QStringLiteral("Previous Pane"),
                  QStringLiteral("Switch back to the previous window pane"),
                  QStringLiteral("Previous Pane"), QKeySequence(Qt::SHIFT | Qt::Key_F6)),
       [this] { OnNextPane(); });
}

QAction* CMainFrame::Action(const char* id) const {
    return findChild<QAction*>(QLatin1String(id), Qt::FindDirectChildrenOnly);
}

void CMainFrame::CreateBars() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(Action("ID_SELECT_FILES"));
    file->addAction(Action("ID_EXPORT_RESULTS"));
    file->addAction(Action("ID_REPAIR_LINKS"));
    file->addSeparator();
    file->addAction(Action("ID_FILE_PRINT"));
    file->addAction(Action("ID_FILE_PRINT_PREVIEW"));
    file->addAction(Action("ID_FILE_PRINT_SETUP"));
    file->addSeparator();
    file->addAction(Action("ID_APP_EXIT"));

    auto* toolbar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolbar->setObjectName(QStringLiteral("AFX_IDW_TOOLBAR"));
    toolbar->setIconSize(QSize(16, 16));
    for (const char* id :
         {"ID_SELECT_FILES", "ID_EXPORT_RESULTS", "ID_REPAIR_LINKS", "", "ID_FILE_PRINT", "",
          "ID_PREFERENCES", "ID_STOP_TEST", "", "ID_APP_ABOUT"}) {
        if (*id == '\0')
            toolbar->addSeparator();
        else
            toolbar->addAction(Action(id));
    }
    addToolBar(Qt::TopToolBarArea, toolbar);

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    QAction* toggleToolbar = toolbar->toggleViewAction();
    toggleToolbar->setText(QStringLiteral("&Toolbar"));
    toggleToolbar->setObjectName(QStringLiteral("ID_VIEW_TOOLBAR"));
    toggleToolbar->setStatusTip(QStringLiteral("Show or hide the toolbar"));
    viewMenu->addAction(toggleToolbar);
    auto* toggleStatus = MakeAction(this, "ID_VIEW_STATUS_BAR", QStringLiteral("&Status Bar"),
                                    QStringLiteral("Show or hide the status bar"),
                                    QStringLiteral("Toggle StatusBar"));
    toggleStatus->setCheckable(true);
    toggleStatus->setChecked(true);
    connect(toggleStatus, &QAction::toggled, this,
            [this](bool on) { statusBar()->setVisible(on); });
    viewMenu->addAction(toggleStatus);

    QMenu* linkvet = menuBar()->addMenu(QStringLiteral("&Linkvet"));
    linkvet->addAction(Action("ID_PREFERENCES"));
    linkvet->addAction(Action("ID_STOP_TEST"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(Action("ID_HELP_FINDER"));
    help->addSeparator();
    help->addAction(Action("ID_APP_ABOUT"));

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

QProgressBar* CMainFrame::CreateActivityIndicator() {
    auto* layout = new QVBoxLayout(m_panes[3]);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* indicator = new QProgressBar;
    indicator->setRange(0, 1);
    indicator->setTextVisible(false);
    indicator->setObjectName(QStringLiteral("ActivityIndicator"));
    layout->addWidget(indicator);
    return indicator;
}

void CMainFrame::UpdateCommandStates() {
    Action("ID_SELECT_FILES")->setEnabled(m_view->CanSelectFiles());
    Action("ID_STOP_TEST")->setEnabled(m_view->CanStopTest());
    Action("ID_EXPORT_RESULTS")->setEnabled(m_view->CanExportResults());
    Action("ID_REPAIR_LINKS")->setEnabled(m_view->CanRepairLinks());
}

void CMainFrame::OnNextPane() {
    if (m_view->hasFocus())
        m_log->setFocus();
    else
        m_view->setFocus();
}

void CMainFrame::OnHelp(const QString& anchor) {
    // The manual ships inside the program; a browser needs it as a file.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QString manual = folder + QStringLiteral("/linkvet-manual.html");
    QDir().mkpath(folder);
    QFile::remove(manual);
    QUrl url = QUrl::fromLocalFile(manual);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    if (!QFile::copy(QStringLiteral(":/help/linkvet.html"), manual) ||
        !QDesktopServices::openUrl(url))
        QMessageBox::information(this, QStringLiteral("Linkvet"),
                                 QStringLiteral("The manual could not be opened."));
}

void CMainFrame::OnAppAbout() {
    QMessageBox::about(this, QStringLiteral("About Linkvet"),
                       QStringLiteral("Linkvet\nChecks the links of web pages."));
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    CResultsModel& results = m_view->Results();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    results.RemoveRepairedRows();
    QApplication::restoreOverrideCursor();
    if (results.RowCount() > 0) {
        const auto answer =
            QMessageBox::question(this, QStringLiteral("Linkvet"), QLatin1String(kQuitQuestion),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        results.Clear();
    }
    for (int i = 0; i < 4; ++i)
        m_settings.SetInt(SettingsKeys::kGridColumns[i], m_view->columnWidth(i));
    event->accept();
}
