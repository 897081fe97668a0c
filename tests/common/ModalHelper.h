#pragma once
// Answers the next modal dialog or message box the code under test opens:
// polls for the active modal widget and hands it to the given action.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>

inline void whenModalAppears(std::function<void(QWidget*)> act, int timeoutMs = 5000)
{
    auto* timer = new QTimer;
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act), elapsed, timeoutMs] {
        *elapsed += 10;
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        } else if (*elapsed > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Presses the given standard button of the next message box; the text of
// the box is stored in *seenText when given.
inline void answerMessageBox(QMessageBox::StandardButton button, QString* seenText = nullptr)
{
    whenModalAppears([button, seenText](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) {
            static_cast<QDialog*>(w)->reject();
            return;
        }
        if (seenText)
            *seenText = box->text();
        box->button(button)->click();
    });
}
