#pragma once
// Answers the modal windows the code under test opens, as a user would.
//
// A ModalAnswers object watches while it lives: each new modal window gets
// the next queued answer, in order; with the queue empty it gets the
// standing answer, which is Cancel unless otherwise() sets another, so a
// test never hangs on an unexpected window. What each window showed is
// recorded in `seen`.
//
// whenModalAppears() and answerMessageBox() answer just the next window and
// need no object to keep: for a window opened inside another's answer, or
// when nothing needs recording.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <gtest/gtest.h>

class ModalAnswers : public QObject {
public:
    using Answer = std::function<void(QWidget*)>;

    ModalAnswers()
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswers::poll);
        m_timer.start(10);
    }

    // What the windows showed, in order: a message box's text, "file dialog
    // in FOLDER offering NAME" with the folder and name the file dialog
    // opened with, "other dialog".
    QStringList seen;

    // The answer to the next window not yet answered.
    void then(Answer answer) { m_answers.push_back(std::move(answer)); }
    // The same for a window of a known class; another window fails the
    // test and is cancelled.
    template <class Window>
    void then(std::function<void(Window*)> answer)
    {
        then([answer = std::move(answer)](QWidget* w) {
            if (auto* window = qobject_cast<Window*>(w))
                return answer(window);
            ADD_FAILURE() << "expected a " << Window::staticMetaObject.className() << ", got a "
                          << w->metaObject()->className();
            cancelWindow(w);
        });
    }
    // Clicks the message box button with this text (mnemonic marks aside).
    void click(const QString& buttonText)
    {
        then([buttonText](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box)
                return cancelWindow(w);
            for (QAbstractButton* b : box->buttons()) {
                if (QString(b->text()).remove(QLatin1Char('&')) == QString(buttonText).remove(QLatin1Char('&')))
                    return b->click();
            }
            box->reject();
        });
    }
    // Presses the message box's standard button; its text goes to *text.
    void press(QMessageBox::StandardButton button, QString* text = nullptr) { then(pressing(button, text)); }
    // Types the file's name into the file dialog (to save or to open), in
    // the file's folder.
    void choose(const QString& filePath) { then(choosing(filePath)); }
    void saveAs(const QString& filePath) { choose(filePath); }
    void cancel() { then(&ModalAnswers::cancelWindow); }
    // The answer for windows once the queue is empty (default: Cancel).
    void otherwise(Answer answer) { m_otherwise = std::move(answer); }
    bool done() const { return m_answers.empty(); }

    // Answers the next modal window (one already open included) with
    // `answer`, without recording; gives up after timeoutMs.
    static void next(Answer answer, int timeoutMs = 5000)
    {
        auto* once = new ModalAnswers;
        once->then(std::move(answer));
        once->m_once = true;
        QTimer::singleShot(timeoutMs, once, &QObject::deleteLater);
    }

    static Answer pressing(QMessageBox::StandardButton button, QString* text = nullptr)
    {
        return [button, text](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box)
                return cancelWindow(w);
            if (text)
                *text = box->text();
            box->button(button)->click();
        };
    }
    static Answer choosing(const QString& filePath)
    {
        return [filePath](QWidget* w) {
            auto* dlg = qobject_cast<QFileDialog*>(w);
            if (!dlg)
                return cancelWindow(w);
            dlg->setDirectory(QFileInfo(filePath).absolutePath());
            // Typed as a user would: selectFile() leaves a focused name box alone.
            dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(filePath).fileName());
            QMetaObject::invokeMethod(dlg, "accept");
        };
    }
    static void cancelWindow(QWidget* w)
    {
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
        else
            w->close();
    }

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == m_last || !w->isVisible())
            return;
        // A guarded pointer: the next window may be built at the same
        // address as the last.
        m_last = w;
        if (!m_once)
            seen << shown(w);
        if (m_answers.empty()) {
            m_otherwise(w);
            return;
        }
        Answer answer = std::move(m_answers.front());
        m_answers.pop_front();
        if (m_once) {
            m_timer.stop();
            deleteLater();
        }
        answer(w);
    }
    static QString shown(QWidget* w)
    {
        if (auto* box = qobject_cast<QMessageBox*>(w))
            return box->text();
        if (auto* dlg = qobject_cast<QFileDialog*>(w)) {
            const auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            return QStringLiteral("file dialog in ") + dlg->directory().absolutePath() + QStringLiteral(" offering ")
                + (name ? name->text() : QString());
        }
        return QStringLiteral("other dialog");
    }

    std::deque<Answer> m_answers;
    Answer m_otherwise = &ModalAnswers::cancelWindow;
    QPointer<QWidget> m_last;
    QTimer m_timer;
    bool m_once = false;
};

inline void whenModalAppears(ModalAnswers::Answer act, int timeoutMs = 5000)
{
    ModalAnswers::next(std::move(act), timeoutMs);
}

// Presses the given standard button of the next message box (any other
// window is cancelled); the box's text goes to *seenText when given.
inline void answerMessageBox(QMessageBox::StandardButton button, QString* seenText = nullptr)
{
    ModalAnswers::next(ModalAnswers::pressing(button, seenText));
}
