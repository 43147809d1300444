// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

class CMainFrame;
class CSettingsStore;

/// The program: its settings store and its main window, from start-up to exit.
class CLinkvetApp {
public:
    CLinkvetApp();
    ~CLinkvetApp();

    /// Opens the settings (importing the old INI file on the run that creates
    /// them) and shows the main window. False ends the program.
    bool InitInstance();
    int ExitInstance();

    CSettingsStore& Settings() { return *m_pSettings; }
    CMainFrame* MainWindow() { return m_pMainWnd.get(); }

private:
    std::unique_ptr<CSettingsStore> m_pSettings;
    std::unique_ptr<CMainFrame> m_pMainWnd;
};
