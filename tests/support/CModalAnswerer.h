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
/// recorded (their text) and closed with the button `m_messageButton` names,
/// unless `answer` does something else first.
class CModalAnswerer {
public:
    using Answer = std::function<void(QWidget* modal)>;

    explicit CModalAnswerer(Answer answer = {}, QString messageButton = QStringLiteral("OK"))
        : m_messageButton(std::move(messageButton)), m_answer(std::move(answer)) {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Poll(); });
        m_timer.start(20);
    }

    std::vector<std::string> m_messages;
    QString m_messageButton;

private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible())
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            m_messages.push_back(box->text().toStdString());
            for (QAbstractButton* button : box->buttons()) {
                if (button->text().remove(QLatin1Char('&')) == m_messageButton) {
                    button->click();
                    return;
                }
            }
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
