// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CLinkvetApp.h"

#include "app/CMainFrame.h"
#include "settings/CSettingsCreator.h"
#include "settings/CSettingsStore.h"

CLinkvetApp::CLinkvetApp() = default;

CLinkvetApp::~CLinkvetApp() {
    ExitInstance();
}

bool CLinkvetApp::InitInstance() {
    m_pSettings = std::make_unique<CSettingsStore>();
    // A store that cannot open still gives defaults.
    CSettingsCreator().OpenAndImport(*m_pSettings);
    m_pMainWnd = std::make_unique<CMainFrame>(*m_pSettings);
    m_pMainWnd->show();
    return true;
}

int CLinkvetApp::ExitInstance() {
    m_pMainWnd.reset();
    m_pSettings.reset();
    return 0;
}
