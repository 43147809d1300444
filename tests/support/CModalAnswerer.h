// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

/// Answers the modal windows a test brings up: every few milliseconds it looks
/// for one and hands it to `answer`, which must close it. Message boxes are
/// recorded (text and icon) and closed with `m_messageButton` where they have
/// it, unless `answer` does something else first.
class CModalAnswerer {
public:
    using Answer = std::function<void(QWidget* modal)>;

    explicit CModalAnswerer(Answer answer = {},
                            QMessageBox::StandardButton messageButton = QMessageBox::Ok)
        : m_messageButton(messageButton), m_answer(std::move(answer)) {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Poll(); });
        m_timer.start(20);
    }

    std::vector<std::string> m_messages;
    std::vector<QMessageBox::Icon> m_icons; // NoIcon where the style draws none
    QMessageBox::StandardButton m_messageButton;

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            m_messages.push_back(box->text().toStdString());
            m_icons.push_back(box->iconPixmap().isNull() ? QMessageBox::NoIcon : box->icon());
            if (QAbstractButton* button = box->button(m_messageButton))
                button->click();
            else
                box->close();
            return;
        }
        if (m_answer)
            m_answer(modal);
        else
            modal->close();
    }

    Answer m_answer;
    QTimer m_timer;
};
