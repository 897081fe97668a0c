#pragma once
// Answers the modal windows of the Save flow as they come.
#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <functional>

// Answers the modal windows as they come: message boxes with Yes, the save
// dialog with a file name, any other dialog with Cancel
// unless onOtherDialog is set. Records what it saw.
class ModalScript : public QObject {
public:
    explicit ModalScript(QString fileName) : m_fileName(std::move(fileName))
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalScript::poll);
        m_timer.start(10);
    }
    QStringList seen;
    // Handles dialogs other than message boxes and the save dialog.
    std::function<void(QDialog*)> onOtherDialog;
    // Handles the save dialog in place of typing the file name.
    std::function<void(QFileDialog*)> onFileDialog;

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == m_last || !w->isVisible())
            return;
        m_last = w;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            seen << box->text();
            // Questions are answered Yes; a report has only its OK.
            if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->button(QMessageBox::Ok)->click();
        } else if (auto* dlg = qobject_cast<QFileDialog*>(w)) {
            seen << QStringLiteral("file dialog in ") + dlg->directory().absolutePath();
            if (onFileDialog) {
                onFileDialog(dlg);
                return;
            }
            dlg->setDirectory(QFileInfo(m_fileName).absolutePath());
            // Typed as a user would: selectFile() leaves a focused name box alone.
            dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(m_fileName).fileName());
            QMetaObject::invokeMethod(dlg, "accept");
        } else if (auto* other = qobject_cast<QDialog*>(w)) {
            seen << QStringLiteral("other dialog");
            if (onOtherDialog)
                onOtherDialog(other);
            else
                other->reject();
        }
    }
    QString m_fileName;
    QWidget* m_last = nullptr;
    QTimer m_timer;
};
