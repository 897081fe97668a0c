#pragma once
// A saved run to print, and the page written from it as a real PDF.
#include "DataFixtures.h"
#include "PdfProbe.h"

#include "base/LocalTime.h"
#include "plot/CurveMap.h"

#include "report/ReportInput.h"
#include "report/ReportPage.h"
#include "report/ReportPdf.h"

#include <QColor>
#include <memory>


// A data set as the logger window holds it: start 2026-12-07 13:45:00 local
// time, every channel at the given values.
struct SavedRun {
    std::unique_ptr<ReviewRecord> record = std::make_unique<ReviewRecord>();

    SavedRun(int count, int intervalSeconds, bool fahrenheit = false)
    {
        record->count = count;
        record->interval = intervalSeconds;
        record->unitFlag = fahrenheit ? 1 : 0;
        record->unitText = fahrenheit ? QStringLiteral("F") : QStringLiteral("C");
        record->year = 2026;
        record->month = 12;
        record->day = 7;
        record->hour = 13;
        record->minute = 45;
        record->second = 0;
        for (int s = 0; s < count; ++s)
            set(s, {50.0f, 40.0f, 30.0f, 20.0f, 10.0f});
    }
    void set(int sample, const ChannelValues& v)
    {
        for (int c = 0; c < kChannelCount; ++c)
            record->values[sample * kChannelCount + c] = v[c];
    }
    ReportInput input(std::array<bool, kChannelCount> shown = kAllCurves, YScaleValues scale = {10, 0}) const
    {
        return ReportInputs::ofReviewRecord(*record, shown, scale);
    }
};

// 2026-12-08 09:30 local time, printed as the date.
inline int64_t printedMoment()
{
    return LocalTime::join({2026, 12, 8, 9, 30, 0});
}

inline const QColor kAirPrint = ReportPage::kPrintColor[kAir];
inline const QColor kRhPrint = ReportPage::kPrintColor[kRh];

// The five time labels of a run of count samples 10 s apart from 13:45:00:
// label k names sample round(k (count - 1) / 4).
struct TimeLabelCase {
    int count;
    const char* labels[5];
};
inline constexpr TimeLabelCase kTimeLabelCases[] = {
    {1, {"13:45:00", "13:45:00", "13:45:00", "13:45:00", "13:45:00"}},
    {5, {"13:45:00", "13:45:10", "13:45:20", "13:45:30", "13:45:40"}},
    {11, {"13:45:00", "13:45:30", "13:45:50", "13:46:20", "13:46:40"}},    // 0, 3, 5, 8, 10
    {1000, {"13:45:00", "14:26:40", "15:08:20", "15:49:50", "16:31:30"}},  // 0, 250, 500, 749, 999
};
