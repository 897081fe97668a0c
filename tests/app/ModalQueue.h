#pragma once
// Answers the modal windows the code under test opens, one queued action
// per window in order, and records what each one showed. A window whose
// action is missing is rejected (and recorded), so a test never hangs on an
// unexpected question.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>

class ModalQueue : public QObject {
public:
    ModalQueue()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalQueue::poll);
        m_timer.start(10);
    }

    // What the windows showed: a message box's text, "file dialog NAME"
    // with the proposed file name, "other dialog".
    QStringList seen;

    void then(std::function<void(QWidget*)> action) { m_actions.push_back(std::move(action)); }

    // Clicks the message box button with this text (mnemonic marks aside).
    void click(const QString& buttonText)
    {
        then([buttonText](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box)
                return static_cast<void>(static_cast<QDialog*>(w)->reject());
            for (QAbstractButton* b : box->buttons()) {
                if (QString(b->text()).remove(QLatin1Char('&')) == QString(buttonText).remove(QLatin1Char('&')))
                    return b->click();
            }
            box->reject();
        });
    }
    // Types the file's name into the save dialog, in the file's folder.
    void saveAs(const QString& filePath)
    {
        then([filePath](QWidget* w) {
            auto* dlg = qobject_cast<QFileDialog*>(w);
            if (!dlg)
                return static_cast<void>(static_cast<QDialog*>(w)->reject());
            dlg->setDirectory(QFileInfo(filePath).absolutePath());
            dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(filePath).fileName());
            QMetaObject::invokeMethod(dlg, "accept");
        });
    }
    void cancel()
    {
        then([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    }
    bool done() const { return m_actions.empty(); }

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == m_last || !w->isVisible())
            return;
        // The next window may be built at the same address as the last.
        m_last = w;
        connect(w, &QObject::destroyed, this, [this] { m_last = nullptr; });
        if (auto* box = qobject_cast<QMessageBox*>(w))
            seen << box->text();
        else if (auto* dlg = qobject_cast<QFileDialog*>(w))
            seen << QStringLiteral("file dialog ") + dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        else
            seen << QStringLiteral("other dialog");
        if (m_actions.empty()) {
            static_cast<QDialog*>(w)->reject();
            return;
        }
        auto action = std::move(m_actions.front());
        m_actions.pop_front();
        action(w);
    }
    std::deque<std::function<void(QWidget*)>> m_actions;
    QPointer<QWidget> m_last;
    QTimer m_timer;
};
