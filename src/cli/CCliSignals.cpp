// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CCliSignals.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t s_wakeFd = -1;

void OnSignal(int signal) {
    const int savedErrno = errno; // the interrupted code may be about to read it
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t written = ::write(s_wakeFd, &number, 1);
    errno = savedErrno;
}

} // namespace

CCliSignals::CCliSignals(std::function<void(int signal)> onSignal)
    : m_onSignal(std::move(onSignal)) {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no way to hear signals: they keep their old effect
    s_wakeFd = m_pipe[1];
    m_pNotifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, m_pNotifier.get(),
                     [this] { OnPipeReadable(); });

    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], nullptr, &m_oldActions[i]);
        if (m_oldActions[i].sa_handler == SIG_IGN)
            continue;
        action.sa_handler = kSignals[i] == SIGPIPE ? SIG_IGN : OnSignal;
        ::sigaction(kSignals[i], &action, nullptr);
    }
}

CCliSignals::~CCliSignals() {
    if (m_pipe[0] < 0)
        return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &m_oldActions[i], nullptr);
    s_wakeFd = -1;
    m_pNotifier.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void CCliSignals::OnPipeReadable() {
    unsigned char number = 0;
    while (::read(m_pipe[0], &number, 1) == 1)
        m_onSignal(number);
}
