#pragma once
// Every button of a dialog can be pressed with Alt and a letter: buttons
// whose text names no letter get one, the first letter of their text that
// no other button of the window uses (a word's first letter before others).
class QCoreApplication;
class QString;
class QWidget;

namespace mnemonics {

// Gives every button of the window without a mnemonic one.
void give(QWidget* window);

// The text with a mnemonic mark added before the first free letter; letters
// holds those taken (lower case) and gains the one chosen. A text with a
// mark, or without a free letter, comes back as it is.
QString marked(const QString& text, QString& letters);

// From now on, each message box of the application gets mnemonics for its
// buttons as it is shown ("OK" becomes "&OK"). Once per application; later
// calls do nothing.
void giveToMessageBoxes(QCoreApplication* app);

} // namespace mnemonics
