#pragma once
// What every zb740-cli command writes the same way: its error lines, JSON
// strings, and the one file it makes when -o names standard output.
#include "base/Status.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <string>

namespace cli {

// "zb740-cli 2.1", what -V/--version prints, for the tool and each command.
QString versionLine();

// Every error about a file is one line naming the program and the file:
// "zb740-cli: FILE: MESSAGE".
QString errorLine(const QString& file, const QString& message);
// Prints errorLine() on standard error; returns status (the failure 1
// unless told).
int fail(const QString& file, const QString& message, int status = 1);
// "zb740-cli: TEXT" on standard error, for an error that names its file in
// its own words; returns status.
int error(const QString& text, int status = 1);

// "-o -": the output is standard output.
bool isStandardOutput(const QString& output);
// The output as messages name it: "standard output" for "-".
QString shownOutput(const QString& output);
// Standard output as a file, written past the C library's buffer.
Status openStandardOutput(QFile& out);
// Opens a stream of lines written as they come: standard output for "-",
// else the file, unbuffered. A reader that goes away (SIGPIPE) must not end
// the program: its writes just fail.
[[nodiscard]] Status openLineStream(const QString& target, QFile& stream);
// The whole of bytes into the output file: standard output for "-", else
// through DurableFile::saveOrWriteThrough() (a file replaced only once
// complete; a FIFO or device node written through).
Status writeOutput(const QString& output, const QByteArray& bytes);

// A JSON string literal of text: printable ASCII as it is, '"' and '\'
// escaped, every other character as \uXXXX.
std::string jsonString(const QString& text);

} // namespace cli
