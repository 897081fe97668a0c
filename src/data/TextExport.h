#pragma once
// The text export (.csv) of a run: UTF-16LE with a byte-order mark, CRLF
// line ends, tab-separated, one row per sample with its local time. Written
// from the live run by Save and from a loaded data file by the command-line
// tool, through the same RunView so both give the same bytes.
#include "data/ReadingStore.h"

#include <QString>
#include <cstdint>

class QIODevice;
class RunState;

// A read-only view of one recorded run, whichever record holds it.
class RunView {
public:
    static RunView of(const LiveSeries& live, const RunState& run);
    static RunView of(const ReviewRecord& record);

    int count() const { return m_count; }
    int64_t start() const { return m_start; }
    int interval() const { return m_interval; }
    bool fahrenheit() const { return m_fahrenheit; }
    // Stored value (degrees C or percent RH) of one sample.
    float value(int sample, int channel) const
    {
        return m_values[sample * m_sampleStride + channel * m_channelStride];
    }

private:
    const float* m_values = nullptr;
    int m_sampleStride = 0;
    int m_channelStride = 0;
    int m_count = 0;
    int64_t m_start = 0;
    int m_interval = 0;
    bool m_fahrenheit = false;
};

namespace TextExport {

// The header line for the unit, without the line end.
const char* headerLine(bool fahrenheit);
// One field of a sample row as the export shows it.
QByteArray formatValue(float stored, int channel, bool fahrenheit);

// Writes the whole export to an open device. Returns an empty text on
// success, else the device's error.
QString write(QIODevice& device, const RunView& run);

} // namespace TextExport
