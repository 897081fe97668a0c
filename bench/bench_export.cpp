// The text export of 10000 samples against its floor: converting the same
// text to UTF-16 with iconv (the export's own bytes, produced once as ASCII).
//   TextExport/10000   TextExport::write of a run into memory
//   IconvUtf16/10000   iconv(3) of the same text from ASCII to UTF-16LE
#include "data/ReadingStore.h"
#include "data/TextExport.h"

#include <QBuffer>
#include <benchmark/benchmark.h>
#include <cmath>
#include <iconv.h>
#include <memory>
#include <vector>

namespace {

constexpr int kRows = 10000;

struct ExportScene {
    std::unique_ptr<LiveSeries> live = std::make_unique<LiveSeries>();
    RunInfo info;
    ExportScene()
    {
        for (int i = 0; i < kRows; ++i)
            for (int c = 0; c < kChannelCount; ++c)
                live->values[c][i] = float(std::round((20 + 10 * c + 5 * std::sin(i * 0.01 + c)) * 10) / 10);
        info = {1700000000, 1, kRows, false, QStringLiteral("C")};
    }
    RunView view() const { return RunView::of(*live, info); }
};

void TextExportRows(benchmark::State& bs)
{
    ExportScene scene;
    QByteArray out;
    out.reserve(4 * 1024 * 1024);
    for (auto _ : bs) {
        out.resize(0);
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        if (!TextExport::write(buffer, scene.view()).ok())
            bs.SkipWithError("the export failed");
        benchmark::DoNotOptimize(out.constData());
    }
    bs.counters["bytes"] = double(out.size());
}

void IconvUtf16(benchmark::State& bs)
{
    // The export's text as ASCII: every other byte of its UTF-16.
    ExportScene scene;
    QByteArray utf16;
    {
        QBuffer buffer(&utf16);
        buffer.open(QIODevice::WriteOnly);
        (void)TextExport::write(buffer, scene.view());
    }
    std::vector<char> ascii;
    for (qsizetype i = 2; i < utf16.size(); i += 2)
        ascii.push_back(utf16[i]);
    std::vector<char> out(ascii.size() * 2 + 16);
    iconv_t cd = iconv_open("UTF-16LE", "ASCII");
    for (auto _ : bs) {
        char* in = ascii.data();
        size_t inLeft = ascii.size();
        char* o = out.data();
        size_t outLeft = out.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        iconv(cd, &in, &inLeft, &o, &outLeft);
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
}

} // namespace

BENCHMARK(TextExportRows)->Name("TextExport/10000")->Unit(benchmark::kMillisecond);
BENCHMARK(IconvUtf16)->Name("IconvUtf16/10000")->Unit(benchmark::kMillisecond);
