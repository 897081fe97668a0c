#include "data/RunJournal.h"

#include "base/Crc32.h"
#include "base/DurableFile.h"
#include "base/FileLock.h"
#include "base/RegularFile.h"

#include <QFile>
#include <QIODevice>
#include <QtEndian>
#include <cstring>
#include <limits>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// The journal writes through POSIX calls where they exist (pwrite, and
// fdatasync so each sample is on the disk when append returns); elsewhere
// through QFile, which flushes to the system but cannot ask for a sync.
// ZB740_JOURNAL_PORTABLE forces the QFile path (to keep it compiling).
#if defined(Q_OS_UNIX) && !defined(ZB740_JOURNAL_PORTABLE)
#define ZB740_JOURNAL_POSIX 1
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

using Code = Status::Code;

// Byte offsets of the header and the records (see RunJournal.h).
namespace H {
constexpr int magic = 0, version = 8, headerSize = 12, recordSize = 16, start = 20, interval = 28, limit = 32,
              fahrenheit = 36, unitLength = 37, unit = 38, gain = 48, offset = 52, crc = 60;
}
namespace R {
constexpr int kind = 0, flags = 1, zero = 2, index = 4, values = 8, gain = 8, offset = 12, crc = 28;
constexpr unsigned char kSample = 'S', kScale = 'Y';
constexpr unsigned char kFahrenheit = 1;
}

template <typename T>
void put(unsigned char* at, T v)
{
    qToLittleEndian(v, at);
}
template <typename T>
T get(const unsigned char* at)
{
    return qFromLittleEndian<T>(at);
}

uint32_t crcOf(const unsigned char* bytes, int size) { return Crc32::of(bytes, size_t(size)); }

bool checksumHolds(const unsigned char* bytes, int crcOffset)
{
    return crcOf(bytes, crcOffset) == get<uint32_t>(bytes + crcOffset);
}

// A reason the facts cannot open a journal (empty when they can).
QString factsProblem(const JournalFacts& f)
{
    if (f.start < 0 || f.start > Journal::kLatestStart)
        return QStringLiteral("start time %1").arg(f.start);
    if (f.interval < 1)
        return QStringLiteral("sample interval %1").arg(f.interval);
    if (f.sampleLimit < 1 || f.sampleLimit > kMaxRunSamples)
        return QStringLiteral("sample limit %1").arg(f.sampleLimit);
    if (f.unit.size() > Journal::kMaxUnitLength)
        return QStringLiteral("unit text \"%1\"").arg(f.unit);
    for (const QChar ch : f.unit) {
        if (ch.unicode() == 0 || ch.unicode() > 0xFF)
            return QStringLiteral("unit text \"%1\"").arg(f.unit);
    }
    return {};
}

void encodeHeader(const JournalFacts& f, unsigned char* h)
{
    std::memset(h, 0, Journal::kHeaderSize);
    std::memcpy(h + H::magic, Journal::kMagic, sizeof Journal::kMagic);
    put<uint32_t>(h + H::version, Journal::kVersion);
    put<uint32_t>(h + H::headerSize, Journal::kHeaderSize);
    put<uint32_t>(h + H::recordSize, Journal::kRecordSize);
    put<int64_t>(h + H::start, f.start);
    put<int32_t>(h + H::interval, f.interval);
    put<int32_t>(h + H::limit, f.sampleLimit);
    h[H::fahrenheit] = f.fahrenheit ? 1 : 0;
    const QByteArray unit = f.unit.toLatin1();
    h[H::unitLength] = static_cast<unsigned char>(unit.size());
    std::memcpy(h + H::unit, unit.constData(), size_t(unit.size()));
    put<int32_t>(h + H::gain, f.scale.gain);
    put<int32_t>(h + H::offset, f.scale.offset);
    put<uint32_t>(h + H::crc, crcOf(h, H::crc));
}

[[maybe_unused]] QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

#ifdef Q_OS_UNIX
// path still names the file open as fd (it was not removed or replaced).
bool pathNamesFile(const QString& path, int fd)
{
    struct stat atPath {}, open {};
    return ::stat(QFile::encodeName(path).constData(), &atPath) == 0 && ::fstat(fd, &open) == 0
        && atPath.st_dev == open.st_dev && atPath.st_ino == open.st_ino;
}
#endif

#ifdef ZB740_JOURNAL_POSIX
// Writes all of data at offset; 0 or the error number.
int writeAllAt(int fd, const unsigned char* data, size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        data += n;
        size -= size_t(n);
        offset += n;
    }
    return 0;
}

int syncData(int fd)
{
    int rc;
    do {
        rc = ::fdatasync(fd);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

// Creates path (never an existing one) and locks it: the descriptor, or -1
// with the error number in error.
int createLocked(const QString& path, int& error)
{
    const QByteArray name = QFile::encodeName(path);
    // A new file only: never over an existing one, nor through a link at
    // the name (O_EXCL refuses one too; O_NOFOLLOW says so).
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    // Between the create and the lock, a reader may have found the file
    // empty and unlocked, taken it as a crash's leftover and removed it: the
    // lock is then not worth having, and the name must be tried again.
    error = tryLockFile(fd, true);
    if (error == 0 && !pathNamesFile(path, fd))
        error = ENOENT;
    if (error != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Why a journal could not be made. The reason alone (reasonOnly) for a
// caller that words the failure itself.
Status createFailure(const QString& what, int error, bool reasonOnly = false)
{
    if (error == EEXIST)
        return Status::failure(Code::Busy, QStringLiteral("A journal exists there already; it is not replaced."));
    if (error == EWOULDBLOCK || error == ENOENT)
        return Status::failure(Code::Busy, QStringLiteral("Could not %1 the journal: another program took it at the "
                                                          "same moment.")
                                               .arg(what));
    if (reasonOnly)
        return Status::failure(Code::CannotOpen, errnoText(error));
    return Status::failure(Code::CannotOpen, QStringLiteral("Could not %1 the journal: %2").arg(what, errnoText(error)));
}
#endif

} // namespace

// --- writer ---------------------------------------------------------------

RunJournal::RunJournal() = default;

RunJournal::~RunJournal() { release(); }

bool RunJournal::holdsFile() const
{
#ifdef ZB740_JOURNAL_POSIX
    return m_fd >= 0;
#else
    return m_file != nullptr;
#endif
}

void RunJournal::closeFile()
{
#ifdef ZB740_JOURNAL_POSIX
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
#else
    m_file.reset();
#endif
    m_open = false;
    m_reserved = false;
}

Status RunJournal::reserve(const QString& path)
{
    release();
    m_path.clear();
    // Not through a link another user planted in a shared folder.
    QString resolved;
    if (Status s = DurableFile::resolveForWriting(path, resolved); !s.ok())
        return s.prefixed(QStringLiteral("Could not create the journal: "));
#ifdef ZB740_JOURNAL_POSIX
    int error = 0;
    const int fd = createLocked(path, error);
    if (fd < 0)
        return createFailure(QStringLiteral("create"), error, true);
    m_fd = fd;
#else
    auto file = std::make_unique<QFile>(path);
    if (file->exists())
        return Status::failure(Code::Busy, QStringLiteral("A journal exists there already; it is not replaced."));
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return Status::failure(Code::CannotOpen, file->errorString());
    m_file = std::move(file);
#endif
    m_path = path;
    m_reserved = true;
    m_size = 0;
    m_count = 0;
    m_scaleRecords = 0;
    return DurableFile::syncFolderOf(path).prefixed(QStringLiteral("%1: ").arg(path));
}

Status RunJournal::writeHeader(const unsigned char* header)
{
#ifdef ZB740_JOURNAL_POSIX
    int error = ::ftruncate(m_fd, 0) == 0 ? 0 : errno;
    if (error == 0)
        error = writeAllAt(m_fd, header, Journal::kHeaderSize, 0);
    if (error == 0)
        error = syncData(m_fd);
    if (error != 0) {
        if (::ftruncate(m_fd, 0) != 0) {
            // A part of a header holds no sample; readers take it for none.
        }
        return Status::failure(Code::WriteFailed, QStringLiteral("Could not write the journal: %1").arg(errnoText(error)));
    }
#else
    if (!m_file->resize(0) || !m_file->seek(0)
        || m_file->write(reinterpret_cast<const char*>(header), Journal::kHeaderSize) != Journal::kHeaderSize
        || !m_file->flush()) {
        const QString reason = m_file->errorString();
        m_file->resize(0);
        return Status::failure(Code::WriteFailed, QStringLiteral("Could not write the journal: %1").arg(reason));
    }
#endif
    return Status::success();
}

Status RunJournal::begin(const QString& path, const JournalFacts& facts)
{
    if (const QString problem = factsProblem(facts); !problem.isEmpty()) {
        release();
        m_path.clear();
        return Status::failure(Code::BadSetting, QStringLiteral("A journal cannot hold the %1.").arg(problem));
    }

    unsigned char header[Journal::kHeaderSize];
    encodeHeader(facts, header);

    // The empty file of this object's reservation is written into; any
    // other journal is let go and a new file made.
    const bool intoReservation = m_reserved && holdsFile() && path == m_path && m_count == 0;
    if (intoReservation) {
        m_open = false;
        m_size = 0;
        if (Status s = writeHeader(header); !s.ok())
            return s; // still reserved: the next begin() tries again
    } else {
        release();
        m_path.clear();
        // Not through a link another user planted in a shared folder.
        QString resolved;
        if (Status s = DurableFile::resolveForWriting(path, resolved); !s.ok())
            return s.prefixed(QStringLiteral("Could not create the journal: "));
#ifdef ZB740_JOURNAL_POSIX
        int error = 0;
        const int fd = createLocked(path, error);
        if (fd < 0)
            return createFailure(QStringLiteral("create"), error);
        m_fd = fd;
#else
        auto file = std::make_unique<QFile>(path);
        if (file->exists())
            return Status::failure(Code::Busy, QStringLiteral("A journal exists there already; it is not replaced."));
        if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return Status::failure(Code::CannotOpen,
                                   QStringLiteral("Could not create the journal: %1").arg(file->errorString()));
        m_file = std::move(file);
#endif
        m_path = path;
        if (Status s = writeHeader(header); !s.ok()) {
            // The half-made file holds nothing: it goes.
            m_size = 0;
            release();
            m_path.clear();
            return s;
        }
    }
    m_open = true;
    m_size = Journal::kHeaderSize;
    m_count = 0;
    m_scaleRecords = 0;
    m_sampleLimit = facts.sampleLimit;
    m_scale = facts.scale;
    // The new name must survive a crash as well as the bytes behind it.
    return DurableFile::syncFolderOf(path).prefixed(QStringLiteral("%1: ").arg(path));
}

Status RunJournal::writeRecord(const unsigned char* record)
{
#ifdef ZB740_JOURNAL_POSIX
    if (const int error = writeAllAt(m_fd, record, Journal::kRecordSize, off_t(m_size)); error != 0) {
        // Take back a partial record so the next one lands where it belongs.
        if (::ftruncate(m_fd, off_t(m_size)) != 0) {
            // The tail stays torn; the reader drops it, nothing before is lost.
        }
        return Status::failure(Code::WriteFailed, QStringLiteral("Could not write to the journal: %1").arg(errnoText(error)));
    }
    m_size += Journal::kRecordSize;
    if (const int error = syncData(m_fd); error != 0)
        return Status::failure(Code::WriteFailed, QStringLiteral("Could not sync the journal: %1").arg(errnoText(error)));
#else
    if (!m_file->seek(m_size)
        || m_file->write(reinterpret_cast<const char*>(record), Journal::kRecordSize) != Journal::kRecordSize) {
        const QString reason = m_file->errorString();
        m_file->resize(m_size);
        return Status::failure(Code::WriteFailed, QStringLiteral("Could not write to the journal: %1").arg(reason));
    }
    m_size += Journal::kRecordSize;
    if (!m_file->flush())
        return Status::failure(Code::WriteFailed, QStringLiteral("Could not write to the journal: %1").arg(m_file->errorString()));
#endif
    return Status::success();
}

Status RunJournal::append(int sampleIndex, const ChannelValues& values, bool fahrenheit)
{
    if (!isOpen())
        return Status::failure(Code::NotOpen, QStringLiteral("No journal is open."));
    if (sampleIndex != m_count)
        return Status::failure(Code::Failed, QStringLiteral("Sample %1 comes out of order: the journal expects sample %2.")
                                                 .arg(sampleIndex).arg(m_count));
    if (m_count >= m_sampleLimit)
        return Status::failure(Code::Failed,
                               QStringLiteral("The journal holds the run's %1 samples already.").arg(m_sampleLimit));

    unsigned char record[Journal::kRecordSize] = {};
    record[R::kind] = R::kSample;
    record[R::flags] = fahrenheit ? R::kFahrenheit : 0;
    put<int32_t>(record + R::index, sampleIndex);
    for (int c = 0; c < kChannelCount; ++c)
        put<float>(record + R::values + 4 * c, values[size_t(c)]);
    put<uint32_t>(record + R::crc, crcOf(record, R::crc));

    const int64_t before = m_size;
    Status written = writeRecord(record);
    if (m_size > before)
        ++m_count;
    return written;
}

Status RunJournal::noteScale(YScaleValues scale)
{
    if (!isOpen())
        return Status::failure(Code::NotOpen, QStringLiteral("No journal is open."));
    if (scale == m_scale)
        return Status::success();
    if (m_scaleRecords >= Journal::kMaxScaleRecords)
        return Status::failure(Code::Failed, QStringLiteral("The journal holds %1 changes of the scale already; later "
                                                            "ones are not kept.")
                                                 .arg(Journal::kMaxScaleRecords));

    unsigned char record[Journal::kRecordSize] = {};
    record[R::kind] = R::kScale;
    put<int32_t>(record + R::index, m_count);
    put<int32_t>(record + R::gain, scale.gain);
    put<int32_t>(record + R::offset, scale.offset);
    put<uint32_t>(record + R::crc, crcOf(record, R::crc));

    const int64_t before = m_size;
    Status written = writeRecord(record);
    if (m_size > before) {
        m_scale = scale;
        ++m_scaleRecords;
    }
    return written;
}

void RunJournal::close() { m_open = false; }

void RunJournal::release()
{
    if (holdsFile() && m_size == 0) {
        // Only a reservation: nothing to keep.
#ifdef ZB740_JOURNAL_POSIX
        if (pathNamesFile(m_path, m_fd))
            ::unlink(QFile::encodeName(m_path).constData());
#else
        m_file->remove();
#endif
    }
    closeFile();
}

Status RunJournal::empty()
{
    if (!holdsFile() || !m_reserved || m_count > 0)
        return Status::failure(Code::Failed, QStringLiteral("Only a reserved journal without a sample can be emptied."));
    m_open = false;
#ifdef ZB740_JOURNAL_POSIX
    if (::ftruncate(m_fd, 0) != 0 || ::fdatasync(m_fd) != 0)
        return Status::failure(Code::WriteFailed, QStringLiteral("Could not empty the journal: %1").arg(errnoText(errno)));
#else
    if (!m_file->resize(0))
        return Status::failure(Code::WriteFailed, QStringLiteral("Could not empty the journal: %1").arg(m_file->errorString()));
#endif
    m_size = 0;
    return Status::success();
}

Status RunJournal::remove()
{
    if (m_path.isEmpty()) {
        release();
        return Status::failure(Code::NotOpen, QStringLiteral("No journal was begun."));
    }
    if (!holdsFile()) {
        Status removed = removeFile(m_path);
        if (removed.ok())
            m_path.clear();
        return removed;
    }
#ifdef ZB740_JOURNAL_POSIX
    // Removed while still held, so nobody takes it in between; and only
    // while the path still names this file.
    if (!pathNamesFile(m_path, m_fd)) {
        closeFile();
        return Status::failure(Code::Failed, QStringLiteral("Could not remove the journal: it was moved or removed."));
    }
    if (::unlink(QFile::encodeName(m_path).constData()) != 0) {
        const int error = errno;
        closeFile();
        return Status::failure(Code::Failed, QStringLiteral("Could not remove the journal: %1").arg(errnoText(error)));
    }
    closeFile();
#else
    closeFile();
    if (QFile file(m_path); !file.remove())
        return Status::failure(Code::Failed, QStringLiteral("Could not remove the journal: %1").arg(file.errorString()));
#endif
    const QString path = m_path;
    m_path.clear();
    return DurableFile::syncFolderOf(path).prefixed(QStringLiteral("%1: ").arg(path));
}

Status RunJournal::removeFile(const QString& path)
{
    FoundJournal journal;
    if (Status s = journal.open(path, FoundJournal::Access::Take); !s.ok())
        return s.prefixed(QStringLiteral("Could not remove the journal: "));
    return journal.remove();
}

// --- reader ---------------------------------------------------------------

RunInfo RecoveredRun::info() const
{
    return {facts.start, facts.interval, count, facts.fahrenheit, facts.unit};
}

namespace {

// Reads up to size bytes; fewer only at the end of the device. -1 on error.
qint64 readUpTo(QIODevice& device, unsigned char* out, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = device.read(reinterpret_cast<char*>(out) + done, size - done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

Status readFailed(QIODevice& device)
{
    return Status::failure(Code::Failed, QStringLiteral("Could not read the journal: %1").arg(device.errorString()));
}

Status decodeHeader(const unsigned char* h, qint64 size, JournalFacts& facts)
{
    if (size == 0)
        return Status::failure(Code::Damaged, QStringLiteral("The journal is empty: it holds no samples."));
    const qint64 magicBytes = std::min<qint64>(size, sizeof Journal::kMagic);
    if (std::memcmp(h, Journal::kMagic, size_t(magicBytes)) != 0)
        return Status::failure(Code::InvalidFormat, QStringLiteral("This is not a run journal."));
    if (size < Journal::kHeaderSize)
        return Status::failure(Code::Damaged, QStringLiteral("The journal ends inside its header (%1 of %2 bytes): it "
                                                             "holds no samples.")
                                                  .arg(size).arg(Journal::kHeaderSize));
    const uint32_t version = get<uint32_t>(h + H::version);
    if (!checksumHolds(h, H::crc)) {
        if (version != Journal::kVersion)
            return Status::failure(Code::InvalidFormat,
                                   QStringLiteral("The journal has format version %1; this program reads version %2.")
                                       .arg(version).arg(Journal::kVersion));
        return Status::failure(Code::Damaged, QStringLiteral("The journal's header is damaged (its checksum does not match)."));
    }
    if (version != Journal::kVersion)
        return Status::failure(Code::InvalidFormat, QStringLiteral("The journal has format version %1; this program reads "
                                                                   "version %2.")
                                                        .arg(version).arg(Journal::kVersion));

    const int unitLength = h[H::unitLength];
    const bool layoutHolds = get<uint32_t>(h + H::headerSize) == uint32_t(Journal::kHeaderSize)
        && get<uint32_t>(h + H::recordSize) == uint32_t(Journal::kRecordSize) && h[H::fahrenheit] <= 1
        && unitLength <= Journal::kMaxUnitLength;
    if (!layoutHolds)
        return Status::failure(Code::Damaged, QStringLiteral("The journal's header describes an impossible layout."));

    JournalFacts f;
    f.start = get<int64_t>(h + H::start);
    f.interval = get<int32_t>(h + H::interval);
    f.sampleLimit = get<int32_t>(h + H::limit);
    f.fahrenheit = h[H::fahrenheit] != 0;
    f.unit = QString::fromLatin1(reinterpret_cast<const char*>(h + H::unit), unitLength);
    f.scale = {get<int32_t>(h + H::gain), get<int32_t>(h + H::offset)};
    if (const QString problem = factsProblem(f); !problem.isEmpty())
        return Status::failure(Code::Damaged, QStringLiteral("The journal's header holds an impossible %1.").arg(problem));
    facts = f;
    return Status::success();
}

bool zeros(const unsigned char* p, int n)
{
    for (int i = 0; i < n; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

} // namespace

Status Journal::read(QIODevice& device, RecoveredRun& run)
{
    const qint64 startsAt = device.isSequential() ? -1 : device.pos();
    unsigned char header[kHeaderSize];
    const qint64 got = readUpTo(device, header, kHeaderSize);
    if (got < 0)
        return readFailed(device);
    JournalFacts facts;
    if (Status s = decodeHeader(header, got, facts); !s.ok())
        return s;

    const JournalFacts atStart = facts;
    bool lastFahrenheit = facts.fahrenheit;
    int count = 0;
    int scales = 0;
    bool torn = false;
    int damaged = 0;
    int64_t firstDroppedAt = -1;

    int64_t offset = kHeaderSize;
    unsigned char r[kRecordSize];
    for (;;) {
        const qint64 n = readUpTo(device, r, kRecordSize);
        if (n < 0)
            return readFailed(device);
        if (n == 0)
            break;

        bool whole = n == kRecordSize && checksumHolds(r, R::crc) && r[R::zero] == 0 && r[R::zero + 1] == 0
            && get<int32_t>(r + R::index) == count;
        if (whole && r[R::kind] == R::kSample && r[R::flags] <= R::kFahrenheit && count < facts.sampleLimit) {
            lastFahrenheit = r[R::flags] == R::kFahrenheit;
            for (int c = 0; c < kChannelCount; ++c)
                run.values[count * kChannelCount + c] = get<float>(r + R::values + 4 * c);
            ++count;
        } else if (whole && r[R::kind] == R::kScale && r[R::flags] == 0 && zeros(r + R::offset + 4, R::crc - R::offset - 4)
                   && scales < kMaxScaleRecords) {
            facts.scale = {get<int32_t>(r + R::gain), get<int32_t>(r + R::offset)};
            ++scales;
        } else {
            // Everything from here on is dropped: records after a bad one
            // would leave a gap in the run's time axis. They are counted,
            // not read: a file's size tells how many there are (a journal
            // past the longest its header allows may be anything, even a
            // sparse file of a terabyte). A stream is read on only as far
            // as the longest journal goes.
            qint64 rest = n;
            if (startsAt >= 0) {
                rest = std::max<qint64>(n, device.size() - startsAt - offset);
            } else {
                const qint64 longest = qint64(facts.sampleLimit + kMaxScaleRecords + 1) * kRecordSize;
                for (qint64 more; rest < longest && (more = readUpTo(device, r, kRecordSize)) > 0;)
                    rest += more;
            }
            const int dropped = int(std::min<qint64>((rest + kRecordSize - 1) / kRecordSize,
                                                     std::numeric_limits<int>::max()));
            firstDroppedAt = offset;
            if (dropped == 1)
                torn = true;
            else
                damaged = dropped;
            break;
        }
        offset += kRecordSize;
    }

    // The unit text follows the flag (it is empty only before the meter's
    // first frame, and a sample means a frame came).
    if (count > 0 && (lastFahrenheit != atStart.fahrenheit || facts.unit.isEmpty())) {
        facts.fahrenheit = lastFahrenheit;
        facts.unit = lastFahrenheit ? QStringLiteral("F") : QStringLiteral("C");
    }
    run.facts = facts;
    run.count = count;
    run.tornRecordDropped = torn;
    run.damagedRecordsDropped = damaged;
    run.firstDroppedAt = firstDroppedAt;
    return Status::success();
}

Status Journal::load(const QString& path, RecoveredRun& run)
{
    QFile file;
    if (Status s = RegularFile::open(path, file); !s.ok())
        return s;
    return read(file, run);
}

// --- journals found on disk --------------------------------------------------

FoundJournal::FoundJournal() = default;

FoundJournal::~FoundJournal() { close(); }

Status FoundJournal::open(const QString& path, Access access)
{
    close();
    auto file = std::make_unique<QFile>();
    if (Status s = RegularFile::open(path, *file); !s.ok())
        return s;
#ifdef Q_OS_UNIX
    if (const int error = tryLockFile(file->handle(), access == Access::Take); error != 0) {
        if (error == EWOULDBLOCK)
            return Status::failure(Code::Busy, QLatin1String(Journal::kInUse));
        return Status::failure(Code::CannotOpen, errnoText(error));
    }
#endif
    m_path = path;
    m_file = std::move(file);
    m_taken = access == Access::Take;
    m_noSample = false;
    return Status::success();
}

Status FoundJournal::read(RecoveredRun& run)
{
    m_noSample = false;
    if (!m_file)
        return Status::failure(Code::NotOpen, QStringLiteral("No journal is open."));
    if (!m_file->seek(0))
        return readFailed(*m_file);
    const Status s = Journal::read(*m_file, run);
    if (s.ok())
        m_noSample = run.count == 0 && run.damagedRecordsDropped == 0;
    else
        // Damaged, not foreign, and shorter than a header: a journal whose
        // writer stopped before its header was whole.
        m_noSample = s.code() == Code::Damaged && m_file->size() < Journal::kHeaderSize;
    return s;
}

Status FoundJournal::remove()
{
    if (!m_file || !m_taken)
        return Status::failure(Code::NotOpen, QStringLiteral("No journal is taken."));
    const QString path = m_path;
#ifdef Q_OS_UNIX
    if (!pathNamesFile(path, m_file->handle())) {
        close();
        return Status::failure(Code::Failed, QStringLiteral("Could not remove the journal: it was moved or removed."));
    }
    const int rc = ::unlink(QFile::encodeName(path).constData());
    const int error = errno;
    close();
    if (rc != 0)
        return Status::failure(Code::Failed, QStringLiteral("Could not remove the journal: %1").arg(errnoText(error)));
#else
    close();
    if (QFile file(path); !file.remove())
        return Status::failure(Code::Failed, QStringLiteral("Could not remove the journal: %1").arg(file.errorString()));
#endif
    return DurableFile::syncFolderOf(path).prefixed(QStringLiteral("%1: ").arg(path));
}

void FoundJournal::close()
{
    m_file.reset();
    m_taken = false;
}
