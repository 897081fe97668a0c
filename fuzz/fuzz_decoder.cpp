// The frame parser and the fold of readings on arbitrary received bytes.
// One input is a session of a meter link: a byte of run commands, then
// buffers, each given as one length byte and that many bytes (the last one
// takes what is left), parsed and folded into one run as the link and the
// recorder do. Besides the sanitizers' findings, what a fold leaves must
// stay in bounds, and a parsed reading must encode back to its frame.
#include "data/ReadingStore.h"
#include "link/MeterProtocol.h"
#include "recorder/ReadingFold.h"
#include "run/RunState.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// The texts are a formatted reading with its unit at most.
void checkTexts(const ReadingFold& fold)
{
    const DisplayTexts& t = fold.readout().lcd;
    const MinMaxTexts& mm = fold.readout().minMax;
    for (const QString* s : {&t.value1, &t.value2, &t.value3, &t.unitMark, &t.maxMinA, &t.maxMinB, &t.holdA,
                             &t.holdB, &t.recordA, &t.recordB, &t.link, &t.wbDp, &t.mode})
        check(s->size() < 64);
    for (int c = 0; c < kChannelCount; ++c)
        check(mm.max[c].size() < 64 && mm.min[c].size() < 64);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The store is large and lives for the whole run, as in the program.
    static LiveSeries* const live = new LiveSeries;
    if (size == 0)
        return 0;
    const uint8_t commands = data[0];
    RunState run;
    if (commands & 0x01)
        run.confirm(1 + (commands >> 4), 2 + (commands >> 1 & 0x07) * 3);
    ReadingFold fold(run, *live);
    AlarmLimits limits;

    int64_t now = 1'700'000'000;
    size_t at = 1;
    while (at < size) {
        size_t length = data[at++];
        if (length == 0 || at + length > size)
            length = size - at;
        const QByteArray buffer = QByteArray::fromRawData(reinterpret_cast<const char*>(data + at), qsizetype(length));
        at += length;

        const std::optional<meter::MeterReading> reading = meter::parseFrame(buffer);
        if (reading) {
            // The parse keeps every byte it examines; the encoder writes
            // the others as zero.
            meter::FrameBytes again = meter::encodeFrame(*reading);
            check(std::memcmp(again.data(), buffer.constData(), 5) == 0);
            for (int off = 6; off < meter::kOffTrailer + 1; ++off) {
                if (off > 40 && off < meter::kOffTrailer)
                    continue;
                check(again[size_t(off)] == uint8_t(buffer[off]));
            }
            const ReadingUpdate u = fold.fold(*reading, now, limits);
            check(u.slot >= 0 && u.slot < kMaxSamples);
        } else {
            fold.foldInvalid();
        }
        check(run.m_nCount >= 0 && run.m_nCount <= kMaxSamples);
        checkTexts(fold);
        // The sample timer ticks between some replies.
        if (commands & 0x02)
            run.commit();
        ++now;
    }
    return 0;
}
