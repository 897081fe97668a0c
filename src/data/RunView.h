#pragma once
// A read-only view of one recorded run, whichever record holds it: the live
// run (channel after channel) or a loaded data file (sample after sample).
// Files, exports, the printed page and the graphs read runs through it.
#include "data/ReadingStore.h"
#include "run/RunInfo.h"

// One channel's samples, wherever they lie in the record.
struct ChannelSpan {
    const float* first = nullptr;
    int stride = 1;
    float operator[](int sample) const { return first[sample * stride]; }
};

class RunView {
public:
    RunView() = default;
    // The live run's first info.count samples.
    static RunView of(const LiveSeries& live, const RunInfo& info);
    static RunView of(const ReviewRecord& record);
    // Samples laid out sample after sample, five channels each.
    static RunView ofSampleMajor(const float* values, const RunInfo& info);

    const RunInfo& info() const { return m_info; }
    int count() const { return m_info.count; }
    int64_t start() const { return m_info.start; }
    int interval() const { return m_info.interval; }
    bool fahrenheit() const { return m_info.fahrenheit; }
    const QString& unit() const { return m_info.unit; }
    // Stored value (degrees C or percent RH) of one sample.
    float value(int sample, int channel) const
    {
        return m_values[sample * m_sampleStride + channel * m_channelStride];
    }
    ChannelSpan channel(int c) const { return {m_values + c * m_channelStride, m_sampleStride}; }
    // Time of sample k: the start plus k intervals.
    int64_t timeOf(int sample) const { return m_info.start + int64_t(sample) * m_info.interval; }

private:
    const float* m_values = nullptr;
    int m_sampleStride = 0;
    int m_channelStride = 0;
    RunInfo m_info;
};
