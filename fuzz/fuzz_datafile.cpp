// The data file reader on arbitrary bytes. A file it accepts must hold what
// it says and survive a round trip: written back by the program and read
// again, it gives the same samples, unit, interval and scale.
#include "data/DataFile.h"
#include "data/RunView.h"

#include <QBuffer>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

Status readFrom(const QByteArray& bytes, ReviewRecord& record, YScaleValues& scale)
{
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    return DataFile::read(in, record, scale);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Each record is 200 KB: allocated once, as in the program.
    static ReviewRecord* const record = new ReviewRecord;
    static ReviewRecord* const again = new ReviewRecord;

    YScaleValues scale;
    const Status s = readFrom(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), *record, scale);
    if (!s.ok()) {
        check(!s.message().isEmpty());
        return 0;
    }
    check(record->count >= 0 && record->count <= kMaxSamples);
    check(record->unitText.size() <= 260);
    check(size >= size_t(49 + 20 * qsizetype(record->count))); // the smallest file of that count

    // Written back from the record (with a plain start time: a start the
    // calendar normalises is not what this checks) and read again.
    RunInfo info = DataFile::infoOf(*record);
    info.start = 1'700'000'000;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    check(DataFile::write(out, RunView::ofSampleMajor(record->values, info), scale).ok());
    YScaleValues scaleAgain;
    const Status back = readFrom(out.data(), *again, scaleAgain);
    check(back.ok());
    check(again->count == record->count);
    check(std::memcmp(again->values, record->values, sizeof(float) * size_t(record->count) * kChannelCount) == 0);
    check((again->unitFlag != 0) == (record->unitFlag != 0));
    check(again->interval == record->interval);
    check(again->unitText == record->unitText);
    check(scaleAgain == scale);
    return 0;
}
