#include "data/LoggerSetTable.h"

#include "base/LocalTime.h"

#include <algorithm>

namespace {

constexpr size_t kSlotFloats = size_t(kMaxSamples) * kChannelCount;

} // namespace

RunInfo LoggerDataSet::info() const
{
    RunInfo i;
    i.start = start;
    i.interval = interval;
    i.count = count;
    i.fahrenheit = unitFlag != 0;
    i.unit = unit;
    return i;
}

// The block is left uninitialised: the system hands out its pages only as
// sets are copied in, so an unused table costs no memory.
LoggerSetTable::LoggerSetTable()
    : m_block(new float[size_t(kSlots) * kSlotFloats])
{
    for (int i = 0; i < kSlots; ++i)
        m_sets[i].samples = m_block.get() + size_t(i) * kSlotFloats;
}

RunView LoggerSetTable::view(int index) const
{
    const LoggerDataSet& s = m_sets[index];
    return RunView::ofSampleMajor(s.samples, s.info());
}

LoggerSetTable::Appended LoggerSetTable::append(const ReviewRecord& record, YScaleValues scale)
{
    Appended a;
    if (m_nLast >= kSlots - 1) {
        m_nLast = 0;
        a.wrapped = true;
    } else {
        ++m_nLast;
    }
    a.slot = m_nLast;
    LoggerDataSet& s = m_sets[m_nLast];
    s.count = std::clamp(record.count, 0, kMaxSamples);
    std::copy_n(record.values, size_t(s.count) * kChannelCount, s.samples);
    s.start = record.startTime;
    s.interval = record.interval;
    s.unitFlag = record.unitFlag;
    s.unit = record.unitText;
    s.gain = scale.gain;
    s.offset = scale.offset;
    return a;
}

bool LoggerSetTable::copyTo(int index, ReviewRecord& record, YScaleValues& scale) const
{
    if (index < 0 || index > m_nLast)
        return false;
    const LoggerDataSet& s = m_sets[index];
    record.count = s.count;
    std::copy_n(s.samples, size_t(s.count) * kChannelCount, record.values);
    record.unitFlag = s.unitFlag;
    record.startTime = s.start;
    record.setStartFields(LocalTime::split(s.start));
    record.interval = s.interval;
    record.unitText = s.unit;
    scale = s.scale();
    return true;
}
