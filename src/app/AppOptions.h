#pragma once
// Everything a start of the window program can be told on its command line:
// the program's paths, where the meter is, and whether to simulate it.
#include "link/LinkOptions.h"
#include "settings/ProgramPaths.h"

struct AppOptions : ProgramPaths, LinkOptions {
    // Start the simulated meter and connect to it.
    bool simulate = false;

    static AppOptions defaults()
    {
        AppOptions o;
        static_cast<ProgramPaths&>(o) = ProgramPaths::defaults();
        return o;
    }
};
