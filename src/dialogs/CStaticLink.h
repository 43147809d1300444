// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QLabel>
#include <QTimer>
#include <string>
#include <string_view>

/// A text label that looks and acts like a link in a web page: underlined,
/// blue until its target has been opened and purple afterwards, a pointing
/// hand while the pointer is over it; a click opens the target (the label's own
/// text) with the desktop's handler. A label showing an image keeps its look.
class CStaticLink : public QLabel {
    Q_OBJECT
public:
    /// The maker's mail box; a target that holds it is opened as a mail address.
    static constexpr std::string_view kMakerMailBox = "linkvet@";
    /// How long after a click the pointer is left alone.
    static constexpr int kLaunchMs = 1000;

    explicit CStaticLink(QWidget* parent = nullptr);

    /// Whether the target has been opened: set by a click that opened it, or
    /// by the owner for a target opened earlier.
    bool IsVisited() const { return m_bVisited; }
    void SetVisited(bool bVisited);

    /// The target, once the first click has taken it from the text.
    const std::string& Link() const { return m_strLink; }
    QColor TextColor() const;

    /// Opens the target. Once the desktop has answered, the link is visited, or
    /// when it could not open the target there is a beep and the link stays as
    /// it was.
    void OnClicked();

signals:
    /// The desktop could not open the target (after the beep).
    void OpenFailed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SetHover(bool bHover);
    void OnOpened(bool bOpened);

    const QColor m_colorUnvisited{0, 0, 255};
    const QColor m_colorVisited{128, 0, 128};
    bool m_bVisited = false;
    bool m_bCaptured = false;  // the pointer is over the link, showing the hand
    bool m_bLaunching = false; // a click has just opened the link
    std::string m_strLink;
    QTimer m_launchTimer;
};
