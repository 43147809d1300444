// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/CConcurrentSession.h"
#include "engine/CTestSession.h"
#include "settings/CSettingsStore.h"
#include "support/CLoopbackServer.h"
#include "support/CRecordingHost.h"
#include "support/TestUtil.h"

#include <QSignalSpy>
#include <QTest>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

// What the tests of the sessions share: a private settings folder with a
// 1-second time-out, names to look up, and either session for a recording host.

using Server = CLoopbackServer;

inline std::atomic<int> g_lookups{0}; // calls of Resolve()
inline std::atomic<int> g_crowdedLookups{0};

// "3com.example", "ok.example" and "crowded.example" are 127.0.0.12, "site.test"
// and "wrong.test" 127.0.0.1; "slow.example" fails after the 1-second time-out;
// the first look-up of "crowded.example" finds no descriptor free.
inline bool Resolve(const std::string& host, in_addr* address) {
    ++g_lookups;
    if (host == "slow.example")
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    if (host == "crowded.example" && ++g_crowdedLookups == 1) {
        errno = EMFILE;
        return false;
    }
    if (host == "site.test" || host == "wrong.test")
        return ::inet_aton("127.0.0.1", address) != 0;
    const bool bFound = host == "3com.example" || host == "ok.example" || host == "crowded.example";
    return bFound && ::inet_aton("127.0.0.12", address) != 0;
}

inline bool RunToEnd(CSessionBase& session) {
    QSignalSpy finished(&session, &CSessionBase::TestFinished);
    return finished.wait(30000);
}

// Each row `host` was given, as "URL | reason".
inline Texts RowsOf(const CRecordingHost& host) {
    Texts rows;
    for (const SResultRow& row : host.m_rows)
        rows.push_back(row.url + " | " + row.reason);
    return rows;
}

// A page with a line for each link, named after its address.
inline std::string Links(const Texts& urls) {
    std::string page;
    for (const std::string& url : urls)
        page += "<a href=\"" + url + "\">" + url.substr(7) + "</a>\n";
    return page;
}

enum class EKind { Paced, Concurrent };

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_settings.OpenBaseKey(nullptr));
        ASSERT_TRUE(m_settings.SetInt("Settings", "Timeout", 1));
        g_lookups = 0;
        g_crowdedLookups = 0;
    }
    std::unique_ptr<CSessionBase> Make(EKind kind, CRecordingHost& host, int port, int jobs = 8) {
        std::unique_ptr<CSessionBase> pSession;
        if (kind == EKind::Paced)
            pSession = std::make_unique<CTestSession>(host, m_settings, nullptr, Resolve);
        else
            pSession =
                std::make_unique<CConcurrentSession>(host, m_settings, jobs, 3, nullptr, Resolve);
        pSession->SetPorts(port, port);
        return pSession;
    }

    CTempDir m_dir;
    CSettingsStore m_settings;
    CRecordingHost m_host;
    std::unique_ptr<CSessionBase> m_pSession; // for m_host
};
