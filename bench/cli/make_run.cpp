// zb740_bench_run FILE.AsmDat [N]: saves a run of N samples (default 10000)
// through the program's own Save path, for the whole-process
// benchmarks of zb740-cli (bench/cli.sh). Its .csv is written beside it, as
// Save writes it. The values drift slowly, as a meter's do.
#include "data/ReadingStore.h"
#include "data/RunFiles.h"

#include <QString>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs("Usage: zb740_bench_run FILE.AsmDat [N]\n", stderr);
        return 2;
    }
    const int n = argc == 3 ? std::atoi(argv[2]) : 10000;
    if (n < 1 || n > kMaxSamples) {
        std::fprintf(stderr, "zb740_bench_run: N is 1..%d\n", kMaxSamples);
        return 2;
    }
    auto live = std::make_unique<LiveSeries>();
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < kChannelCount; ++c)
            live->values[c][i] = float(std::round((20 + 10 * c + 5 * std::sin(i * 0.01 + c)) * 10) / 10);
    const RunInfo info {1700000000, 1, n, false, QStringLiteral("C")};
    const QString path = QString::fromLocal8Bit(argv[1]);
    if (const Status s = RunFiles::saveRun(path, RunView::of(*live, info), YScaleValues {10, 0}); !s.ok()) {
        std::fprintf(stderr, "zb740_bench_run: %s: %s\n", argv[1], qPrintable(s.message()));
        return 1;
    }
    return 0;
}
