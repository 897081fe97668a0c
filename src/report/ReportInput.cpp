#include "report/ReportInput.h"

#include "data/ReadingStore.h"
#include "plot/GraphState.h"
#include "plot/GraphViewFields.h"
#include "run/RunState.h"

const float* ReportInputs::levelZeroAxis(const GraphState& graph)
{
    return graph.fAxisValue[0];
}

ReportInput ReportInputs::ofLiveRun(const LiveSeries& live, const RunState& run, const GraphViewFields& view,
                                    const GraphState& graph)
{
    ReportInput in;
    in.samples = RunView::of(live, run.info());
    in.fahrenheit = run.m_bFahrenheit;
    in.shown = view.m_bShowCurve;
    const float* axis = levelZeroAxis(graph);
    for (int i = 0; i < ReportLayout::kYLabelCount; ++i)
        in.axis[i] = axis[i];
    in.start = run.m_tStart;
    in.sampleMs = run.m_nSampleMs;
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
    for (int i = 0; i < ReportLayout::kYLabelCount; ++i)
        in.axis[i] = double(scale.offset + i) * scale.gain;
    in.start = run.start();
    in.sampleMs = int64_t(run.interval()) * 1000;
    return in;
}

ReportInput ReportInputs::ofReviewRecord(const ReviewRecord& record, const std::array<bool, kChannelCount>& shown,
                                         YScaleValues scale)
{
    return ofSavedRun(RunView::of(record), shown, scale);
}
