// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/CStaticLink.h"

#include "dialogs/CDesktopOpener.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace {

const QCursor& HandCursor() {
    // The program's own image: 32 x 32, hot spot at the fingertip in the corner.
    static const QCursor hand(QPixmap(QStringLiteral(":/icons/hand_cursor.png")), 0, 0);
    return hand;
}

} // namespace

CStaticLink::CStaticLink(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText); // measured as it is drawn, in paintEvent
    setMouseTracking(true);
    m_launchTimer.setSingleShot(true);
    m_launchTimer.setInterval(kLaunchMs);
    connect(&m_launchTimer, &QTimer::timeout, this, [this] { m_bLaunching = false; });
}

QColor CStaticLink::TextColor() const {
    return m_bVisited ? m_colorVisited : m_colorUnvisited;
}

void CStaticLink::SetVisited(bool bVisited) {
    m_bVisited = bVisited;
    update();
}

void CStaticLink::paintEvent(QPaintEvent* event) {
    if (text().isEmpty()) { // an image or nothing: drawn as any label
        QLabel::paintEvent(event);
        return;
    }
    QFont underlined = font();
    underlined.setUnderline(true);
    QPainter painter(this);
    painter.setFont(underlined);
    painter.setPen(TextColor());
    const int flags = static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0);
    painter.drawText(
        contentsRect().marginsRemoved(QMargins(margin(), margin(), margin(), margin())), flags,
        text());
}

void CStaticLink::SetHover(bool bHover) {
    m_bCaptured = bHover;
    if (bHover)
        setCursor(HandCursor());
    else
        setCursor(Qt::ArrowCursor);
}

void CStaticLink::mouseMoveEvent(QMouseEvent* event) {
    QLabel::mouseMoveEvent(event);
    if (m_bLaunching)
        return;
    const bool bInside = rect().contains(event->position().toPoint());
    if (bInside != m_bCaptured)
        SetHover(bInside);
}

void CStaticLink::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    if (m_bCaptured && !m_bLaunching)
        SetHover(false);
}

void CStaticLink::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        !text().isEmpty())
        OnClicked();
}

void CStaticLink::OnClicked() {
    if (m_strLink.empty())
        m_strLink = text().toStdString();
    if (m_strLink.find(kMakerMailBox) != std::string::npos && !m_strLink.starts_with("mailto:"))
        m_strLink.insert(0, "mailto:");
    m_bCaptured = false;
    m_bLaunching = true;
    m_launchTimer.start();
    const QByteArray target(m_strLink.data(), static_cast<qsizetype>(m_strLink.size()));
    connect(CDesktopOpener::Open(QUrl::fromEncoded(target, QUrl::TolerantMode)),
            &CDesktopOpener::Finished, this, &CStaticLink::OnOpened);
}

void CStaticLink::OnOpened(bool bOpened) {
    if (!bOpened) {
        QApplication::beep();
        emit OpenFailed();
        return;
    }
    m_bVisited = true;
    setCursor(Qt::ArrowCursor);
    update();
}
