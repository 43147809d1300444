#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QWidget;

/// Answers the modal windows a test brings up: every few milliseconds it looks
/// for one and hands it to `answer`, which must close it. Message boxes are
/// recorded (their text) and closed with the button `button` names, unless
/// `answer` does something else first.
class CModalAnswerer : public QObject {
    Q_OBJECT
public:
    using Answer = std::function<void(QWidget* modal)>;

    explicit CModalAnswerer(Answer answer = {}, QString messageButton = QStringLiteral("OK"));

    std::vector<std::string> m_messages;
    QString m_messageButton;

private:
    void Poll();

    Answer m_answer;
    QTimer m_timer;
};
