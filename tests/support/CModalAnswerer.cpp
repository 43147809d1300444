#include "support/CModalAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

CModalAnswerer::CModalAnswerer(Answer answer, QString messageButton)
    : m_messageButton(std::move(messageButton)), m_answer(std::move(answer)) {
    connect(&m_timer, &QTimer::timeout, this, &CModalAnswerer::Poll);
    m_timer.start(20);
}

void CModalAnswerer::Poll() {
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
