// libFuzzer harness for the run journal reader: any bytes either are refused
// with a message or give a run that stays inside its record and makes a data
// file that reads back with the same samples.
#include "data/DataFile.h"
#include "data/RunJournal.h"

#include <QBuffer>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The records are fixed and large: allocated once, as the program does.
    static const auto run = std::make_unique<RecoveredRun>();
    static const auto review = std::make_unique<ReviewRecord>();

    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    const Status read = Journal::read(in, *run);
    if (!read.ok()) {
        require(!read.message().isEmpty());
        return 0;
    }

    const JournalFacts& f = run->facts;
    require(f.interval >= 1 && f.sampleLimit >= 1 && f.sampleLimit <= kMaxRunSamples);
    require(f.start >= 0 && f.start <= Journal::kLatestStart && f.unit.size() <= Journal::kMaxUnitLength);
    require(run->count >= 0 && run->count <= f.sampleLimit);
    require(!(run->tornRecordDropped && run->damagedRecordsDropped > 0));
    require((run->firstDroppedAt >= 0) == (run->tornRecordDropped || run->damagedRecordsDropped > 0));
    // Whole records recovered plus the ones dropped account for every byte.
    const int64_t records = (int64_t(size) - Journal::kHeaderSize + Journal::kRecordSize - 1) / Journal::kRecordSize;
    require(run->firstDroppedAt < 0 || run->firstDroppedAt == Journal::kHeaderSize
                + (records - (run->tornRecordDropped ? 1 : run->damagedRecordsDropped)) * Journal::kRecordSize);

    // What recovery writes reads back as the same run.
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    require(DataFile::write(out, run->view(), f.scale).ok());
    out.close();
    out.open(QIODevice::ReadOnly);
    YScaleValues scale;
    require(DataFile::read(out, *review, scale).ok());
    require(review->count == run->count && scale == f.scale && review->interval == f.interval);
    require(std::memcmp(review->values, run->values, sizeof(float) * size_t(run->count) * kChannelCount) == 0);
    return 0;
}
