#pragma once
// Where the program keeps its files: the folder of ZB740.ini (where Save
// also starts) and the read-only logger configuration file. Everything that
// touches the user's folders or the system configuration takes its paths
// from here, so tests can point them at a temporary folder.
#include <QString>

struct ProgramPaths {
    // Folder that holds ZB740.ini and where Save starts ("<Documents>/ZB740").
    QString settingsDir;
    // The read-only logger configuration file KM4471config.ini.
    QString configFile;
    // The user's home folder: the last place a run that has to be kept in
    // a hurry (a logout) can go when the settings folder takes nothing.
    // Empty: no such place.
    QString homeDir;

    // The defaults of a normal start: the user's documents folder and the
    // system configuration directory.
    static ProgramPaths defaults();
};
