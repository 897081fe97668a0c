#pragma once
// A single-line edit that lets through only the characters of a decimal
// number: digits, '-', '.' and backspace. Other characters, including the
// control characters of copy/cut/paste shortcuts, are dropped; editing keys
// that type nothing (arrows, Delete, Home, End) and Enter work as usual.
// The owner validates the number itself.
#include <QLineEdit>

class CNumEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CNumEdit(QWidget* parent = nullptr);

    static bool isAccepted(QChar c);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
