#pragma once
// A printer whose driver fails on cue: the failures a real queue reports
// rarely and that a test cannot provoke on one. It paints nothing and
// records what the print command asked of it.
#include <QPageLayout>
#include <QPageSize>
#include <QPaintEngine>
#include <QPrintEngine>
#include <QPrinter>
#include <map>

class FakePrintEngine : public QPaintEngine, public QPrintEngine {
public:
    // Set before the print starts: the state the driver reports at once.
    void setStateBeforeTheJob(QPrinter::PrinterState state) { m_state = state; }
    bool beginSucceeds = true;
    QPrinter::PrinterState stateAfterBegin = QPrinter::Active;
    bool endSucceeds = true;

    bool began = false, ended = false, aborted = false;
    int drawn = 0;  // paint calls between begin and end

    FakePrintEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    // QPaintEngine
    bool begin(QPaintDevice*) override
    {
        began = true;
        m_state = beginSucceeds ? stateAfterBegin : QPrinter::Error;
        return beginSucceeds;
    }
    bool end() override
    {
        ended = true;
        if (m_state == QPrinter::Active)
            m_state = endSucceeds ? QPrinter::Idle : QPrinter::Error;
        return endSucceeds;
    }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override { ++drawn; }
    void drawPath(const QPainterPath&) override { ++drawn; }
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override { ++drawn; }
    void drawLines(const QLineF*, int) override { ++drawn; }
    void drawRects(const QRectF*, int) override { ++drawn; }
    void drawTextItem(const QPointF&, const QTextItem&) override { ++drawn; }
    Type type() const override { return QPaintEngine::User; }

    // QPrintEngine
    void setProperty(PrintEnginePropertyKey key, const QVariant& value) override
    {
        if (key == PPK_QPageLayout)
            m_layout = value.value<QPageLayout>();
        else
            m_props[key] = value;
    }
    QVariant property(PrintEnginePropertyKey key) const override
    {
        switch (key) {
        case PPK_QPageLayout: return QVariant::fromValue(m_layout);
        case PPK_Resolution: return kDpi;
        case PPK_PageRect: return m_layout.paintRectPixels(kDpi);
        case PPK_PaperRect: return m_layout.fullRectPixels(kDpi);
        case PPK_PrinterName: return QStringLiteral("fake");
        default: break;
        }
        const auto it = m_props.find(key);
        return it == m_props.end() ? QVariant() : it->second;
    }
    bool newPage() override { return true; }
    bool abort() override
    {
        aborted = true;
        m_state = QPrinter::Aborted;
        return true;
    }
    int metric(QPaintDevice::PaintDeviceMetric m) const override
    {
        const QRect r = m_layout.paintRectPixels(kDpi);
        switch (m) {
        case QPaintDevice::PdmWidth: return r.width();
        case QPaintDevice::PdmHeight: return r.height();
        case QPaintDevice::PdmWidthMM: return int(m_layout.paintRect(QPageLayout::Millimeter).width());
        case QPaintDevice::PdmHeightMM: return int(m_layout.paintRect(QPageLayout::Millimeter).height());
        case QPaintDevice::PdmDpiX:
        case QPaintDevice::PdmDpiY:
        case QPaintDevice::PdmPhysicalDpiX:
        case QPaintDevice::PdmPhysicalDpiY: return kDpi;
        case QPaintDevice::PdmNumColors: return INT_MAX;
        case QPaintDevice::PdmDepth: return 32;
        case QPaintDevice::PdmDevicePixelRatio: return 1;
        case QPaintDevice::PdmDevicePixelRatioScaled: return int(QPaintDevice::devicePixelRatioFScale());
        }
        return 0;
    }
    QPrinter::PrinterState printerState() const override { return m_state; }

    QString documentName() const
    {
        const auto it = m_props.find(PPK_DocumentName);
        return it == m_props.end() ? QString() : it->second.toString();
    }
    void setPageLayout(const QPageLayout& layout) { m_layout = layout; }

private:
    static constexpr int kDpi = 600;
    QPrinter::PrinterState m_state = QPrinter::Idle;
    QPageLayout m_layout {QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(5, 5, 5, 5),
                          QPageLayout::Millimeter};
    std::map<PrintEnginePropertyKey, QVariant> m_props;
};

// A printer driven by the fake engine, which the test keeps.
class FakePrinter : public QPrinter {
public:
    explicit FakePrinter(FakePrintEngine* engine)
        : QPrinter(QPrinter::HighResolution)
    {
        setEngines(engine, engine);
    }
};
