#include "report/ReportInput.h"

#include "data/AlarmLimitSet.h"
#include "data/ReadingStore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

ReportInput ReportInputs::ofLiveRun(const RunView& run, const std::array<bool, kChannelCount>& shown,
                                    const plot::AxisValues& levelZeroAxis)
{
    ReportInput in;
    in.samples = run;
    in.fahrenheit = run.fahrenheit();
    in.shown = shown;
    for (int i = 0; i < ReportLayout::kYLabelCount; ++i)
        in.axis[size_t(i)] = levelZeroAxis[size_t(i)];
    in.start = run.start();
    in.sampleMs = int64_t(run.interval()) * 1000;
    return in;
}

ReportInput ReportInputs::ofSavedRun(const RunView& run, const std::array<bool, kChannelCount>& shown,
                                     YScaleValues scale)
{
    ReportInput in;
    in.samples = run;
    in.fahrenheit = run.fahrenheit();
    in.shown = shown;
    // The logger plot's unzoomed labels: (offset + i) x gain.
    const plot::AxisValues axis = plot::axisValues(scale);
    for (int i = 0; i < ReportLayout::kYLabelCount; ++i)
        in.axis[size_t(i)] = axis[size_t(i)];
    in.start = run.start();
    in.sampleMs = int64_t(run.interval()) * 1000;
    return in;
}

ReportInput ReportInputs::ofReviewRecord(const ReviewRecord& record, const std::array<bool, kChannelCount>& shown,
                                         YScaleValues scale)
{
    return ofSavedRun(RunView::of(record), shown, scale);
}

ReportLimits ReportInputs::limitsOf(const AlarmLimits& alarm)
{
    ReportLimits limits {};
    for (int c = 0; c < kChannelCount; ++c)
        limits[size_t(c)] = LimitPair {double(alarm.low[size_t(c)]), double(alarm.high[size_t(c)])};
    return limits;
}

void ReportInputs::setDataFile(ReportInput& in, const QString& path)
{
    in.dataFile = QFileInfo(path).fileName();
    in.sha256.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (hash.addData(&file) && file.error() == QFileDevice::NoError)
        in.sha256 = hash.result();
}
