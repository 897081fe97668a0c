#pragma once
// Where the program finds its files and its meter. Everything that touches
// the user's folders, the system configuration or the devices takes its
// paths from here, so tests can point them at a temporary folder.
#include <QString>

struct AppOptions {
    // Folder that holds ZB740.ini and where Save starts ("<Documents>/ZB740").
    QString settingsDir;
    // The read-only logger configuration file KM4471config.ini.
    QString configFile;
    // Root of the sysfs tree listing serial devices.
    QString sysfsRoot = QStringLiteral("/sys");
    // A device path pinned on the command line: no discovery.
    QString portDevice;
    // Start the simulated meter and connect to it.
    bool simulate = false;

    // The defaults of a normal start: the user's documents folder and the
    // system configuration directory.
    static AppOptions defaults();
};
