// The frame decoder on arbitrary received bytes. One input is a session of
// a meter link: a byte of run commands, then buffers, each given as one
// length byte and that many bytes (the last one takes what is left), fed
// through one decoder and one run as the link feeds them. Besides the
// sanitizers' findings, what a decode leaves must stay in bounds.
#include "data/ReadingStore.h"
#include "link/FrameDecoder.h"
#include "run/RunState.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// The decoder's texts are a formatted reading with its unit at most.
void checkTexts(const FrameDecoder& d)
{
    const DisplayTexts& t = d.displayTexts();
    for (const QString* s : {&t.value1, &t.value2, &t.value3, &t.unitMark, &t.maxMinA, &t.maxMinB, &t.holdA,
                             &t.holdB, &t.recordA, &t.recordB, &t.link, &t.wbDp, &t.mode})
        check(s->size() < 64);
    for (int c = 0; c < kChannelCount; ++c)
        check(d.minMaxTexts().max[c].size() < 64 && d.minMaxTexts().min[c].size() < 64);
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
    FrameDecoder decoder(run, *live);
    AlarmLimits limits;
    bool hi[kChannelCount] = {}, low[kChannelCount] = {};

    int64_t now = 1'700'000'000;
    size_t at = 1;
    while (at < size) {
        size_t length = data[at++];
        if (length == 0 || at + length > size)
            length = size - at;
        const QByteArray buffer = QByteArray::fromRawData(reinterpret_cast<const char*>(data + at), qsizetype(length));
        at += length;

        const DecodeResult r = decoder.decode(buffer, now, limits, hi, low);
        check(decoder.lastSlot() >= 0 && decoder.lastSlot() < kMaxSamples);
        check(run.m_nCount >= 0 && run.m_nCount <= kMaxSamples);
        check(!r.runStarted || r.valid);
        checkTexts(decoder);
        // The sample timer ticks between some replies.
        if (commands & 0x02)
            run.commit();
        ++now;
    }
    return 0;
}
