#pragma once
// The command line of the window program: its own options and the data
// files to open, read before any window exists (so --help, --version and a
// usage error need no display), and Qt's own options (-style Fusion,
// -style=Fusion, -reverse, -platform NAME, ...), which go to the
// application untouched.
#include "app/AppOptions.h"

#include <QStringList>

namespace appcommandline {

struct Split {
    QStringList program; // the program's options, their values and the files
    QStringList qt;      // Qt's options with their values, as given
    QString error;       // a Qt option without the value it needs
};

// Sorts the arguments (those after the program's name) as Qt reads its own:
// a Qt option is known by its whole word, with one or two dashes, and takes
// the next argument as its value where Qt does (-style Fusion), or a value
// after '=' where Qt allows one (-style=Fusion). The value of one of the
// program's options is never taken for a Qt option, and after "--" every
// argument is the program's.
Split split(const QStringList& args);

// Reads the arguments (those after the program's name): the program's
// options into options, its data files into files, Qt's options into
// qtOptions. Returns -1 to go on, else the exit status once the help, the
// version or the usage error is printed.
int parse(const QStringList& args, AppOptions& options, QStringList& files, QStringList& qtOptions);

} // namespace appcommandline
