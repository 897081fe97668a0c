#pragma once
// Everything the printed report shows, as values. The real-time view and the
// logger window print the same page from different sources; each fills one
// of these and hands it to the one painter.
#include "base/Channel.h"
#include "data/DataFile.h"
#include "data/RunView.h"
#include "plot/PlotScale.h"
#include "report/ReportLayout.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

struct ReviewRecord;
struct AlarmLimits;

// The two pages: the classic one (a small graph in the bottom-right corner,
// what File > Print has always printed) and the full test report.
enum class ReportStyle { Classic, Full };

// A channel's limits in force, in the run's display unit. A value equal to
// a limit lies within them.
struct LimitPair {
    double lo = 0, hi = 0;
    bool operator==(const LimitPair&) const = default;
};
using ReportLimits = std::array<std::optional<LimitPair>, kChannelCount>;

// What the person printing chooses on the print dialog's Report tab.
struct ReportOptions {
    ReportStyle style = ReportStyle::Classic;
    QString operatorName;
    QString notes;
    bool operator==(const ReportOptions&) const = default;
};

struct ReportInput {
    RunView samples;            // the run's stored values; its count is the sample count
    bool fahrenheit = false;    // temperatures printed in degrees F
    std::array<bool, kChannelCount> shown {};  // curves and legend entries printed
    std::array<double, ReportLayout::kYLabelCount> axis {};  // value of division line 0 (bottom) .. 10 (top)
    int64_t start = 0;          // first sample, seconds since 1970
    int64_t sampleMs = 0;       // time between two samples

    // What the full page adds; the classic page prints none of it.
    ReportOptions options;
    QString dataFile;           // the data file's name; empty for a run not saved
    QByteArray sha256;          // SHA-256 of the data file's bytes (32 bytes); empty: none
    QString meter;              // the meter's port, "simulated", or empty when unknown
    ReportLimits limits {};     // per channel; none where no limit applies

    int count() const { return samples.count(); }
    // Time of sample k in whole seconds: start + (sampleMs * k) div 1000.
    int64_t timeOf(int k) const { return start + sampleMs * k / 1000; }
};

namespace ReportInputs {

// The live run as the real-time graph shows it: its shown curves and the
// axis values of its last repaint at zoom level 0 (never a zoom level's, and
// not a scale chosen since that repaint).
ReportInput ofLiveRun(const RunView& run, const std::array<bool, kChannelCount>& shown,
                      const plot::AxisValues& levelZeroAxis);

// A saved run as the logger window shows it: its own curve selection and
// the vertical scale in force there (gain per division, offset in
// divisions).
ReportInput ofSavedRun(const RunView& run, const std::array<bool, kChannelCount>& shown, YScaleValues scale);
ReportInput ofReviewRecord(const ReviewRecord& record, const std::array<bool, kChannelCount>& shown,
                           YScaleValues scale);

// The data file the run was read from or saved to: its name, and the
// SHA-256 of its bytes as they are now (none when it cannot be read).
void setDataFile(ReportInput& in, const QString& path);

// The alarm limits as the limits a report judges each channel against.
ReportLimits limitsOf(const AlarmLimits& alarm);

} // namespace ReportInputs
