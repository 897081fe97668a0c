// The printed report of 10000 samples against its floor: a plain one-page
// PDF with the same text and no curves.
//   ReportPage/Full      ReportPdf::render of the full page, five curves
//   ReportPage/Classic   the same run on the classic page
//   PlainPdfPage         QPdfWriter, one page, the full page's texts at their
//                        places in their fonts, nothing else
#include "data/ReadingStore.h"
#include "report/ReportFacts.h"
#include "report/ReportPdf.h"
#include "report/ReportPage.h"

#include <QBuffer>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QTextItem>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int kSamples = 10000;
constexpr int64_t kPrintedAt = 1765000000;

struct ReportScene {
    std::unique_ptr<LiveSeries> live = std::make_unique<LiveSeries>();
    RunInfo info;
    ReportScene()
    {
        for (int i = 0; i < kSamples; ++i)
            for (int c = 0; c < kChannelCount; ++c)
                live->values[c][i] = float(std::round((20 + 10 * c + 5 * std::sin(i * 0.01 + c)) * 10) / 10);
        info = {1700000000, 1, kSamples, false, QStringLiteral("C")};
    }
    ReportInput input(ReportStyle style) const
    {
        ReportInput in = ReportInputs::ofLiveRun(RunView::of(*live, info), kAllCurves,
                                                 plot::axisValues(YScaleValues {10, 0}));
        in.options.style = style;
        in.options.operatorName = QStringLiteral("Bench Operator");
        in.options.notes = QStringLiteral("A note of one line.");
        in.dataFile = QStringLiteral("bench.AsmDat");
        in.sha256 = ReportFacts::sha256("bench");
        for (int c = 0; c < kChannelCount; ++c)
            in.limits[size_t(c)] = LimitPair {0, 100};
        return in;
    }
};

// The texts a page draws, where and in which font: what a plain page with
// the same text draws.
struct PlacedText {
    QPointF at;
    QFont font;
    QString text;
};

class TextCollector : public QPaintEngine {
public:
    std::vector<PlacedText> texts;
    TextCollector() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState& s) override
    {
        if (s.state() & QPaintEngine::DirtyTransform)
            m_transform = s.transform();
    }
    void drawTextItem(const QPointF& p, const QTextItem& item) override
    {
        texts.push_back({m_transform.map(p), item.font(), item.text()});
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    Type type() const override { return QPaintEngine::User; }

private:
    QTransform m_transform;
};

class A4At1200 : public QPaintDevice {
public:
    mutable TextCollector engine;
    QPaintEngine* paintEngine() const override { return &engine; }

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth: return 9921;
        case PdmHeight: return 14031;
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 1200;
        case PdmWidthMM: return 210;
        case PdmHeightMM: return 297;
        case PdmDepth: return 32;
        case PdmNumColors: return INT_MAX;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(QPaintDevice::devicePixelRatioFScale());
        default: return 0;
        }
    }
};

void renderReport(benchmark::State& bs, ReportStyle style)
{
    const ReportScene scene;
    const ReportInput in = scene.input(style);
    const QPageLayout layout = style == ReportStyle::Full ? ReportPdf::fullLayout() : ReportPdf::a4Layout();
    QByteArray pdf;
    for (auto _ : bs) {
        if (!ReportPdf::render(QStringLiteral("bench.pdf"), in, kPrintedAt, pdf, layout).ok())
            bs.SkipWithError("the report failed");
        benchmark::DoNotOptimize(pdf.constData());
    }
    bs.counters["bytes"] = double(pdf.size());
}

void ReportPageFull(benchmark::State& bs) { renderReport(bs, ReportStyle::Full); }
void ReportPageClassic(benchmark::State& bs) { renderReport(bs, ReportStyle::Classic); }

void PlainPdfPage(benchmark::State& bs)
{
    const ReportScene scene;
    A4At1200 device;
    {
        QPainter p(&device);
        const double m = 15 * 1200 / 25.4;
        ReportPage::paintFull(p, scene.input(ReportStyle::Full), kPrintedAt,
                              QRectF(m, m, device.width() - 2 * m, device.height() - 2 * m));
    }
    const std::vector<PlacedText>& texts = device.engine.texts;
    QByteArray pdf;
    for (auto _ : bs) {
        pdf.clear();
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setTitle(QStringLiteral("ZB740 Test Report"));
        writer.setResolution(ReportPdf::kResolution);
        writer.setPageLayout(ReportPdf::fullLayout());
        QPainter p(&writer);
        for (const PlacedText& t : texts) {
            p.setFont(t.font);
            p.drawText(t.at, t.text);
        }
        p.end();
        benchmark::DoNotOptimize(pdf.constData());
    }
    bs.counters["texts"] = double(texts.size());
    bs.counters["bytes"] = double(pdf.size());
}

} // namespace

BENCHMARK(ReportPageFull)->Name("ReportPage/Full")->Unit(benchmark::kMillisecond);
BENCHMARK(ReportPageClassic)->Name("ReportPage/Classic")->Unit(benchmark::kMillisecond);
BENCHMARK(PlainPdfPage)->Unit(benchmark::kMillisecond);
