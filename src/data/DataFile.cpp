#include "data/DataFile.h"

#include "base/LocalTime.h"
#include "base/RegularFile.h"
#include "data/Archive.h"

#include <QFile>
#include <algorithm>
#include <memory>

namespace {

// Texts in a data file are a six-letter magic and a one-letter unit; anything
// far longer is damage, refused before it is read.
constexpr qint64 kMaxTextLength = 260;

// The largest file this reader accepts as a whole: the magic, the count,
// kMaxSamples samples, flag, start, interval, the longest unit text and the
// scale. Files a little longer still load (what follows the scale is not
// read); one far larger is refused unread.
constexpr qint64 kLargestDataFile = 7 + 4 + qint64(kMaxSamples) * kChannelCount * 4 + 1 + 7 * 4
                                    + (3 + kMaxTextLength) + 2 * 4;
constexpr qint64 kFarLargerThanAnyDataFile = 1024 * 1024;
static_assert(kFarLargerThanAnyDataFile > 4 * kLargestDataFile);

Status damaged(const QString& what)
{
    return Status::failure(Status::Code::Damaged, what);
}

Status endsEarly(const char* what)
{
    return damaged(QStringLiteral("The file ends before %1.").arg(QLatin1String(what)));
}

bool inRange(int32_t v, int32_t lo, int32_t hi) { return v >= lo && v <= hi; }

} // namespace

Status DataFile::write(QIODevice& device, const RunView& run, YScaleValues scale)
{
    const int n = run.count();
    if (n < 0 || n > kMaxSamples)
        return Status::failure(Status::Code::WriteFailed,
                               QStringLiteral("The run holds an impossible sample count (%1).").arg(n));
    ArchiveWriter ar(device);
    ar.writeText(QByteArray(kDataFileMagic));
    ar.writeInt32(n);
    for (int i = 0; i < n && ar.ok(); ++i) {
        for (int c = 0; c < kChannelCount; ++c)
            ar.writeFloat(run.value(i, c));
    }
    ar.writeByte(run.fahrenheit() ? 1 : 0);
    const LocalTime::Fields f = LocalTime::split(run.start());
    for (int32_t v : {f.year, f.month, f.day, f.hour, f.minute, f.second})
        ar.writeInt32(v);
    ar.writeInt32(run.interval());
    ar.writeText(run.unit().toLatin1());
    ar.writeInt32(scale.gain);
    ar.writeInt32(scale.offset);
    if (!ar.ok())
        return Status::failure(Status::Code::WriteFailed, ar.errorString());
    return Status::success();
}

Status DataFile::read(QIODevice& device, ReviewRecord& record, YScaleValues& scale)
{
    const std::unique_ptr<float[]> scratch(new float[size_t(kMaxSamples) * kChannelCount]);
    return read(device, record, scale, scratch.get());
}

Status DataFile::read(QIODevice& device, ReviewRecord& record, YScaleValues& scale, float* scratch)
{
    using TS = ArchiveReader::TextStatus;
    ArchiveReader ar(device);

    QByteArray magic;
    if (ar.readText(magic, kMaxTextLength) != TS::Ok || magic != kDataFileMagic)
        return Status::failure(Status::Code::InvalidFormat, QLatin1String(kInvalidFormatText));

    int32_t count = 0;
    if (!ar.readInt32(count))
        return endsEarly("the sample count");
    if (count < 0 || count > kMaxSamples)
        return damaged(QStringLiteral("The sample count %1 is out of range (0 to %2).").arg(count).arg(kMaxSamples));

    // The samples go into the scratch area so that a damaged file never
    // leaves a half-filled record behind.
    if (!ar.readFloats(scratch, qint64(count) * kChannelCount))
        return endsEarly("the end of the sample values");

    uint8_t flag = 0;
    if (!ar.readByte(flag))
        return endsEarly("the unit flag");
    int32_t fields[7];
    for (int32_t& v : fields) {
        if (!ar.readInt32(v))
            return endsEarly("the end of the start time and interval");
    }
    const LocalTime::Fields start {fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]};
    const int32_t interval = fields[6];
    if (!inRange(start.year, 1900, 9999) || !inRange(start.month, 1, 12) || !inRange(start.day, 1, 31)
        || !inRange(start.hour, 0, 23) || !inRange(start.minute, 0, 59) || !inRange(start.second, 0, 60))
        return damaged(QStringLiteral("The start time %1-%2-%3 %4:%5:%6 is not a valid date and time.")
                           .arg(start.year).arg(start.month).arg(start.day)
                           .arg(start.hour).arg(start.minute).arg(start.second));
    if (interval < 0)
        return damaged(QStringLiteral("The sample interval %1 is negative.").arg(interval));

    QByteArray unit;
    switch (ar.readText(unit, kMaxTextLength)) {
    case TS::Ok: break;
    case TS::Truncated: return endsEarly("the end of the unit text");
    case TS::TooLong:
    case TS::Unsupported: return damaged(QStringLiteral("The unit text has an impossible length."));
    }
    YScaleValues readScale;
    if (!ar.readInt32(readScale.gain) || !ar.readInt32(readScale.offset))
        return endsEarly("the end of the vertical scale");

    // Complete and sane: hand it over.
    record.readMagic = QString::fromLatin1(magic);
    record.count = count;
    std::copy_n(scratch, qsizetype(count) * kChannelCount, record.values);
    record.unitFlag = flag;
    record.setStartFields(start);
    record.interval = interval;
    record.unitText = QString::fromLatin1(unit);
    record.startTime = LocalTime::join(start);
    scale = readScale;
    return Status::success();
}

Status DataFile::load(const QString& path, ReviewRecord& record, YScaleValues& scale)
{
    const std::unique_ptr<float[]> scratch(new float[size_t(kMaxSamples) * kChannelCount]);
    return load(path, record, scale, scratch.get());
}

Status DataFile::load(const QString& path, ReviewRecord& record, YScaleValues& scale, float* scratch)
{
    // Never a FIFO or a device: those would block or never end.
    QFile file;
    if (Status s = RegularFile::open(path, file); !s.ok())
        return s;
    if (file.size() > kFarLargerThanAnyDataFile) {
        // Someone else's file stays "Invalid Format!"; one of ours this
        // large is damage, and is not read.
        QByteArray magic;
        ArchiveReader ar(file);
        if (ar.readText(magic, kMaxTextLength) != ArchiveReader::TextStatus::Ok || magic != kDataFileMagic)
            return Status::failure(Status::Code::InvalidFormat, QLatin1String(kInvalidFormatText));
        return damaged(QStringLiteral("The file holds %1 bytes, far larger than any data file (at most %2 bytes).")
                           .arg(file.size())
                           .arg(kLargestDataFile));
    }
    return read(file, record, scale, scratch);
}

int64_t DataFile::startOf(const ReviewRecord& r)
{
    return LocalTime::join(r.startFields());
}

RunInfo DataFile::infoOf(const ReviewRecord& r)
{
    RunInfo info;
    info.start = startOf(r);
    info.interval = r.interval;
    info.count = r.count;
    info.fahrenheit = r.unitFlag != 0;
    info.unit = r.unitText;
    return info;
}
