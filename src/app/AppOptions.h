#pragma once
// Everything a start of the window program can be told on its command line:
// the program's paths, where the meter is, and whether to simulate it.
#include "link/LinkOptions.h"
#include "settings/ProgramPaths.h"

struct AppOptions : ProgramPaths, LinkOptions {
    // Start the simulated meter and connect to it.
    bool simulate = false;
    // Run with this interval (seconds) and sample count as soon as the
    // meter answers, as if Run had been answered with them (0: not).
    int runInterval = 0;
    int runCount = 0;

    static AppOptions defaults()
    {
        AppOptions o;
        static_cast<ProgramPaths&>(o) = ProgramPaths::defaults();
        return o;
    }
};
