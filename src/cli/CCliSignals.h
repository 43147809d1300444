// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <iterator>
#include <memory>

/// The signal dispositions of a running check, for as long as it lives.
///
/// SIGINT and SIGTERM become a call of `onSignal` with the signal's number on the
/// thread that runs the event loop: the handler only writes the number to a pipe
/// whose other end a socket notifier watches, so nothing but that write happens
/// inside the handler. A signal the caller's shell ignores stays ignored (as in a
/// background job). SIGPIPE is ignored, so writing to a reader that has gone fails
/// instead of ending the program. The dispositions found at the start return at
/// the end. Only one object may live at a time.
class CCliSignals {
public:
    explicit CCliSignals(std::function<void(int signal)> onSignal);
    ~CCliSignals();
    CCliSignals(const CCliSignals&) = delete;
    CCliSignals& operator=(const CCliSignals&) = delete;

private:
    void OnPipeReadable();

    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGPIPE};

    std::function<void(int)> m_onSignal;
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_pNotifier;
    struct sigaction m_oldActions[std::size(kSignals)] = {};
};
