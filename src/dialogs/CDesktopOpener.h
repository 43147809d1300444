// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

class QUrl;

/// Opens an address or a document with the desktop and finds out whether that
/// worked, without holding up the window. Where the desktop's opener
/// (kOpenerProgram) is on the PATH, it is run and its exit status decides: 0 is
/// opened, anything else or a failure to start is not; one still running after
/// kVerdictMs has started a program that shows the target. Without it,
/// QDesktopServices decides, through a handler set for the scheme or whatever
/// else the platform has.
class CDesktopOpener : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kOpenerProgram = "xdg-open";
    static constexpr int kVerdictMs = 5000;

    /// Starts opening `url`. Finished follows once, never from inside this call,
    /// so connecting to it right after is in time. The opener belongs to the
    /// application and goes once its program has ended.
    static CDesktopOpener* Open(const QUrl& url);

signals:
    /// Whether the desktop opened the target.
    void Finished(bool bOpened);

private:
    CDesktopOpener();
    void Decide(bool bOpened);

    QTimer m_verdictTimer;
    bool m_bDecided = false;
};
