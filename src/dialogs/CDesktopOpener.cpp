// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CDesktopOpener.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

CDesktopOpener::CDesktopOpener() : QObject(QCoreApplication::instance()) {
    m_verdictTimer.setSingleShot(true);
    m_verdictTimer.setInterval(kVerdictMs);
    connect(&m_verdictTimer, &QTimer::timeout, this, [this] { Decide(true); });
}

CDesktopOpener* CDesktopOpener::Open(const QUrl& url) {
    auto* opener = new CDesktopOpener;
    const QString program = QStandardPaths::findExecutable(QString::fromLatin1(kOpenerProgram));
    if (program.isEmpty()) {
        QMetaObject::invokeMethod(
            opener,
            [opener, url] {
                opener->Decide(QDesktopServices::openUrl(url));
                opener->deleteLater();
            },
            Qt::QueuedConnection);
        return opener;
    }
    // The opener may wait for the program it starts (a browser run in the
    // foreground), which must outlive a closed dialog: the process belongs to
    // the opener, not to whoever asked.
    auto* process = new QProcess(opener);
    process->setProgram(program);
    process->setArguments({QString::fromLatin1(url.toEncoded())});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    connect(process, &QProcess::finished, opener, [opener](int code, QProcess::ExitStatus status) {
        opener->Decide(status == QProcess::NormalExit && code == 0);
        opener->deleteLater();
    });
    connect(process, &QProcess::errorOccurred, opener, [opener](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            opener->Decide(false);
            opener->deleteLater();
        }
    });
    QMetaObject::invokeMethod(
        process,
        [opener, process] {
            opener->m_verdictTimer.start();
            process->start();
        },
        Qt::QueuedConnection);
    return opener;
}

void CDesktopOpener::Decide(bool bOpened) {
    m_verdictTimer.stop();
    if (m_bDecided)
        return;
    m_bDecided = true;
    emit Finished(bOpened);
}
