// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QTextBrowser;

/// The manual in a window of the program's own, for a desktop on which no
/// browser answers: the page shipped in the program, at a topic.
class CHelpViewer : public QDialog {
    Q_OBJECT
public:
    explicit CHelpViewer(QWidget* parent);

    /// Shows the topic with this anchor; an empty one shows the beginning.
    void ShowTopic(const std::string& anchor);

    QTextBrowser& Browser() { return *m_pBrowser; }

private:
    QTextBrowser* m_pBrowser = nullptr;
};
