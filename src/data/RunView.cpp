#include "data/RunView.h"

#include "data/DataFile.h"

#include <algorithm>

RunView RunView::of(const LiveSeries& live, const RunInfo& info)
{
    RunView v;
    v.m_values = &live.values[0][0];
    v.m_sampleStride = 1;
    v.m_channelStride = kMaxSamples;
    v.m_info = info;
    v.m_info.count = std::clamp(info.count, 0, kMaxSamples);
    return v;
}

RunView RunView::ofSampleMajor(const float* values, const RunInfo& info)
{
    RunView v;
    v.m_values = values;
    v.m_sampleStride = kChannelCount;
    v.m_channelStride = 1;
    v.m_info = info;
    v.m_info.count = std::clamp(info.count, 0, kMaxSamples);
    return v;
}

RunView RunView::of(const ReviewRecord& record)
{
    return ofSampleMajor(record.values, DataFile::infoOf(record));
}
