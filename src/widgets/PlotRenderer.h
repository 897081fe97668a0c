#pragma once
// Draws a laid-out plot frame (plot/PlotFrame.h) off-screen, for the
// real-time graph and the logger plot alike, and copies it to a painter with
// the cursor line and the rubber band over it.
//
// What a graph draws around its curves, its chrome, is the graph's own: a
// PlotChrome says where its strips lie and paints them, and the plot's
// background (its fill and grid) too, with one paint function in window
// coordinates. The renderer owns everything else: when to paint again (one
// key for the chrome, one for the plot's background), the chrome kept as
// its strips (StripPicture), the plot's picture with its background
// remembered as the pixels that differ from the fill, the frame's alarm
// limit lines over it, the curves through CurvePainter, and the overlays
// (InvertOverlay). Before curves are drawn again the background is laid
// again only where the last ones were written (ColumnInk: a few rows a
// column and curve) and on the limit lines' rows, unless that is much of
// the picture. Without a sample or limit line on the plot no picture of it is
// kept: an idle window does not hold megabytes for a black, gridded rectangle. Nothing is allocated per
// repaint once the picture exists: only a changed key paints the chrome or
// the background again.
//
// The same frame on any painter: picture() gives the window's picture as
// an image (zb740-cli plot writes it as a PNG).
#include "data/RunView.h"
#include "plot/PlotFrame.h"
#include "plot/PlotView.h"
#include "widgets/CurvePainter.h"
#include "widgets/InvertOverlay.h"
#include "widgets/StripPicture.h"

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <array>
#include <vector>

// What a chrome paint reads of a frame: everything its pixels may depend
// on besides the chrome's own data (which changes its revision). Compared
// whole to decide whether the chrome must be painted again.
struct ChromeFrame {
    QSize window;
    plot::PlotRect plot;
    plot::PlotRect image;
    bool hasRun = false;
    bool autoMode = true;
    plot::AxisValues yValue {};
    int gridY[kAxisDivisions + 1] = {};
    int nGridX = 0;
    int gridX[plot::kMaxGridX] = {};
    uint8_t timeShown[plot::kTimeMarks] = {};
    int timeX[plot::kTimeMarks] = {};
    int64_t timeOf[plot::kTimeMarks] = {};
    CurveSet shown {};
    int revision = -1;  // the chrome's own
    bool operator==(const ChromeFrame&) const = default;
};

// A chrome paint's inputs: the frame's part and the label texts ("%.2f" of
// each Y label's value, "%H:%M:%S" of each time label's time).
struct ChromePaint {
    const ChromeFrame& frame;
    const QString* yLabel;     // kAxisDivisions + 1
    const QString* timeLabel;  // plot::kTimeMarks
};

// What one graph draws around (and under) its curves.
class PlotChrome {
public:
    struct Style {
        QRgb plotFill = 0xff000000u;    // the plot's colour under its grid
        QRgb cursorMask = kInvertMask;  // the cursor line's dots: the picture XOR this
        int cursorBottom = 0;           // the cursor line ends this far below the plot's bottom edge
    };
    struct Strips {
        QRgb face = 0;                  // the picture's colour outside the strips
        std::array<QRect, StripPicture::kMaxStrips> rect {};
        int count = 0;
    };

    explicit PlotChrome(Style style) : m_style(style) {}
    virtual ~PlotChrome() = default;
    PlotChrome(const PlotChrome&) = delete;
    PlotChrome& operator=(const PlotChrome&) = delete;

    const Style& style() const { return m_style; }
    // Changes whenever something the chrome draws changes besides the frame.
    int revision() const { return m_revision; }
    // The desktop's palette changed: the chrome is drawn again in its colours.
    void paletteChanged() { changed(); }

    // The strips that hold everything paint() draws outside the plot's picture.
    virtual Strips strips(const ChromeFrame& f) const = 0;
    // Paints the whole picture but the curves, in window coordinates, on a
    // painter that may be clipped to any part of it. Inside the plot's
    // picture it may draw from the frame's geometry, grid and flags only.
    virtual void paint(QPainter& p, const ChromePaint& in) const = 0;

protected:
    void changed() { ++m_revision; }

private:
    Style m_style;
    int m_revision = 0;
};

// A limit line's dashes: four pixels on, four off, from the plot's left edge.
inline constexpr int kLimitDash = 4;
constexpr bool isLimitDash(int x) { return (x / kLimitDash) % 2 == 0; }

class PlotRenderer {
public:
    explicit PlotRenderer(const PlotChrome& chrome);
    ~PlotRenderer();
    PlotRenderer(const PlotRenderer&) = delete;
    PlotRenderer& operator=(const PlotRenderer&) = delete;

    enum class Curves { Draw, Keep };
    // One repaint of a laid-out frame. Reads its inputs only. Curves::Keep
    // says the curves are as last drawn (only the chrome changed): the
    // plot's picture is kept unless its background changed.
    void render(const plot::PlotFrame& frame, const RunView& run, const CurveSet& shown, Curves curves = Curves::Draw);

    // Copies the exposed part of the picture to a painter in window
    // coordinates, then the state's cursor line and rubber band over it.
    void paint(QPainter& p, const QRect& exposed, const plot::ViewState& st) const;

    // The picture as painted, without overlays (a new image).
    QImage picture() const;
    // The chrome of the last render on any painter: what the strips hold,
    // and the plot's background under the plot.
    void paintChrome(QPainter& p) const;

    const StripPicture& chrome() const { return m_chrome; }
    // Counts the paints of the chrome: unchanged across a render, the
    // render changed nothing outside the plot's picture.
    int chromePaints() const { return m_chromePaints; }
    const QImage& plot() const { return m_plot; }
    // Window rectangle of the plot's picture.
    QRect plotRect() const { return m_plotRect; }
    // The plot shows its background alone (no run, or no sample and no
    // limit line): no picture of it is kept, plot() is null and paint()
    // draws the background itself.
    bool backgroundOnly() const { return m_backgroundOnly; }
    // The label texts of the last render.
    const QString& yLabel(int i) const { return m_yLabel[i]; }
    const QString& timeLabel(int j) const { return m_timeLabel[j]; }

private:
    // What the plot's background shows.
    struct BackgroundKey {
        plot::PlotRect plot, image;
        bool hasRun = false, autoMode = true;
        int gridY[kAxisDivisions + 1] = {};
        int nGridX = 0;
        int gridX[plot::kMaxGridX] = {};
        bool operator==(const BackgroundKey&) const = default;
    };
    // A pixel of the background that is not the fill, filed under its column.
    struct ColumnDot {
        int y;
        QRgb colour;
    };

    void paintStrips();
    void paintBackground();
    // Notes the background's dots before anything is drawn over it.
    void keepBackgroundDots();
    void restoreBackground();
    // Lays the background again where the last curves and limit lines
    // were written; false when that is most of the picture.
    bool restoreInk();
    void restoreRows(int x, int top, int bottom);
    void drawLimitLines(const plot::PlotFrame& frame);
    void paintBackgroundOnly(QPainter& p, const QRect& area) const;
    bool ensurePlotImage(const plot::PlotRect& image);

    const PlotChrome& m_description;
    ChromeFrame m_key;
    BackgroundKey m_background;
    QString m_yLabel[kAxisDivisions + 1];
    QString m_timeLabel[plot::kTimeMarks];
    StripPicture m_chrome;
    int m_chromePaints = 0;
    QImage m_plot;               // the background and the curves
    QRect m_plotRect;            // where the plot's picture lies in the window; empty without one
    bool m_backgroundOnly = false;
    std::vector<ColumnDot> m_columnDots;  // the background's pixels that are not the fill
    std::vector<int> m_columnDotStart;    // column x's dots: [start[x], start[x + 1])
    bool m_dotsKept = false;     // the dots belong to the background m_plot shows
    bool m_overdrawn = false;    // limit lines or curves lie on the background
    ColumnInk m_ink;             // the rows the curves were written in
    int m_limitRows[plot::kMaxLimitLines] = {};  // the rows of the limit lines drawn
    int m_nLimitRows = 0;
    QPainter m_plotPainter;      // stays active on m_plot between repaints
    CurvePainter m_curves;
    mutable InvertOverlay m_overlay;  // its buffers only; the overlay is the view state's
};

// What a plot shows: the run (when the window shows one), the Y scale, the
// curves and the alarm limits to mark.
struct PlotInputs {
    RunView run;
    bool hasRun = true;
    YScaleValues scale;
    CurveSet shown = kAllCurves;
    plot::LimitInputs limits {};  // alarm limits to mark: none by default
};

// One full repaint: the state follows the run (live compression), the
// frame is laid out, the first visible sample of a new level kept, and the
// renderer draws the frame. Every window and zb740-cli repaint this way.
void layoutAndRender(plot::ViewState& st, const plot::PlotPolicy& policy, QSize window, const PlotInputs& in,
                     plot::PlotFrame& frame, PlotRenderer& renderer);
