#pragma once
// One function per zb740-cli command; each returns the process exit status
// (0 success, 1 failure of the work, 2 usage error). Each reads its
// arguments (those after its name) with a CommandLine.
#include <QString>
#include <QStringList>

namespace cli {
int runDecode(const QStringList& args);
int runSimulate(const QStringList& args);
int runInfo(const QStringList& args);
int runExport(const QStringList& args);
int runRecover(const QStringList& args);
int runReport(const QStringList& args);
int runRecord(const QStringList& args);
int runPlot(const QStringList& args);
int runPorts(const QStringList& args);
int runVerify(const QStringList& args);
} // namespace cli
