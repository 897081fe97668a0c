#pragma once
// A single-line edit that lets through only the characters of a decimal
// number: digits, '-', '.' and backspace, and ',' where the edit's locale
// writes decimals with a comma (the keypad's decimal key types one there).
// Other characters, including the control characters of copy/cut/paste
// shortcuts, are dropped; editing keys that type nothing (arrows, Delete,
// Home, End) and Enter work as usual. The owner validates the number
// itself, and reads a comma as the decimal point where the locale does.
#include <QLineEdit>
#include <QLocale>

class CNumEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CNumEdit(QWidget* parent = nullptr);

    static bool isAccepted(QChar c, const QLocale& locale = QLocale());
    // Whether the locale writes the decimal point as a comma.
    static bool usesDecimalComma(const QLocale& locale);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
