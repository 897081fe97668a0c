#include "CliCommands.h"

#include <cstdio>

int cli::runInfo(const QStringList&)
{
    std::fprintf(stderr, "zb740-cli: this command is not built yet\n");
    return 2;
}
