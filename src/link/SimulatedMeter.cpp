#include "link/SimulatedMeter.h"

#include "base/Channel.h"
#include "base/Psychrometry.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

using namespace meter;

namespace {

constexpr int kSplitGapMs = 15;
constexpr int kSplitPiece = 16;
constexpr int kMaxPendingReplies = 4;
constexpr qsizetype kMaxHistoryBytes = 64 * 1024;
constexpr qsizetype kMaxHistoryPackets = 1024;
constexpr double kTwoPi = 6.283185307179586;

float toF(float c) { return c * 1.8f + 32.0f; }

} // namespace

SimulatedMeter::SimulatedMeter(SimulatedMeterOptions options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_rng(options.seed)
    , m_bFahrenheit(options.fahrenheit)
    , m_bTypeK(options.typeK)
{
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, &SimulatedMeter::sendReply);
    m_splitTimer.setSingleShot(true);
    connect(&m_splitTimer, &QTimer::timeout, this, &SimulatedMeter::writePending);
    m_silenceTimer.setSingleShot(true);
    connect(&m_silenceTimer, &QTimer::timeout, this, [this] { m_bSilent = false; });
    m_clock.start();
    simulate();
}

SimulatedMeter::~SimulatedMeter()
{
    stop();
}

Status SimulatedMeter::start()
{
#ifdef Q_OS_UNIX
    auto fail = [&](const char* what) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        stop();
        return Status::failure(Status::Code::CannotOpen, QStringLiteral("%1: %2").arg(QLatin1StringView(what), reason));
    };
    stop();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail("posix_openpt");
    if (::grantpt(m_master) != 0)
        return fail("grantpt");
    if (::unlockpt(m_master) != 0)
        return fail("unlockpt");
    char name[128];
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail("ptsname");
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    termios tio {};
    if (::tcgetattr(m_master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(m_master, TCSANOW, &tio);
    }
    // Keeping one slave descriptor open spares the master the hang-up state
    // (endless readable EIO) while the program has the port closed.
    m_slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveKeeper < 0)
        return fail("open pty slave");
    if (::tcgetattr(m_slaveKeeper, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B4800);
        ::tcsetattr(m_slaveKeeper, TCSANOW, &tio);
    }
    m_devicePath = QString::fromLocal8Bit(name);
    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SimulatedMeter::onReadable);
    return Status::success();
#else
    // Pseudo-terminals are a Unix facility; elsewhere pin a real port or a
    // virtual serial pair instead.
    return Status::failure(Status::Code::Failed, QStringLiteral("no pseudo-terminals on this system"));
#endif
}

void SimulatedMeter::stop()
{
    m_notifier.reset();
    m_replyTimer.stop();
    m_splitTimer.stop();
#ifdef Q_OS_UNIX
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
#endif
    m_slaveKeeper = m_master = -1;
}

void SimulatedMeter::setSilent(bool silent)
{
    m_bSilent = silent;
    if (silent) {
        m_nPendingReplies = 0;
        m_replyTimer.stop();
    }
}

void SimulatedMeter::onReadable()
{
#ifdef Q_OS_UNIX
    char buf[256];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        m_received.append(buf, n);
        m_inbox.append(buf, n);
    }
#endif
    // A meter left running for days keeps only its recent history.
    if (m_received.size() > kMaxHistoryBytes)
        m_received.remove(0, m_received.size() - kMaxHistoryBytes / 2);
    parse();
}

void SimulatedMeter::parse()
{
    qsizetype i = 0;
    const auto* d = reinterpret_cast<const uint8_t*>(m_inbox.constData());
    const qsizetype size = m_inbox.size();
    while (i < size) {
        if (d[i] == kPollByte) {
            ++m_nPolls;
            requestReply();
            ++i;
            continue;
        }
        if (d[i] == 0xFF) {
            const qsizetype left = size - i;
            if (left < kCommandPacketSize) {
                // Wait for the rest, unless what is there already cannot
                // start a packet.
                const bool prefixOk = (left < 2 || d[i + 1] == 0xAA) && (left < 3 || d[i + 2] == 0x55);
                if (prefixOk)
                    break;
                ++i;
                continue;
            }
            if (isCommandPacket(d + i, kCommandPacketSize)) {
                onPacket(d + i);
                i += kCommandPacketSize;
                continue;
            }
        }
        ++i; // noise
    }
    m_inbox.remove(0, i);
}

void SimulatedMeter::onPacket(const uint8_t* p)
{
    const QByteArray packet(reinterpret_cast<const char*>(p), kCommandPacketSize);
    if (m_packets.size() >= kMaxHistoryPackets)
        m_packets.remove(0, kMaxHistoryPackets / 2);
    m_packets.append(packet);
    const uint8_t group = p[3], command = p[4], parameter = p[5];
    if (group == kWakeGroup && command == kWakeCommand) {
        ++m_nWakes;
        m_bPowered = true;
        requestReply();
    } else if (m_bPowered && group == 0x69 && command == 0x0A) {
        m_bTypeK = !m_bTypeK;
    } else if (m_bPowered && group == 0x6B) {
        switch (command) {
        case 0x1E: // HOLD, upper display: freezes what it shows now
            if (!m_bHoldA) {
                const FrameBytes now = currentFrame();
                m_fHeldLcd1 = readFloat(now.data(), kOffLcd1);
                m_fHeldLcd2 = readFloat(now.data(), kOffLcd2);
            }
            m_bHoldA = !m_bHoldA;
            break;
        case 0x32: // HOLD, lower display
            if (!m_bHoldB)
                m_fHeldLcd3 = readFloat(currentFrame().data(), kOffLcd3);
            m_bHoldB = !m_bHoldB;
            break;
        case 0x0A: m_nMaxMinA = (m_nMaxMinA + 1) % 3; break;
        case 0x0B: // leave MAX/MIN and start the extremes afresh
            m_nMaxMinA = 0;
            m_fAirMax = -1e9f;
            m_fAirMin = 1e9f;
            break;
        case 0x3C: m_nMaxMinB = (m_nMaxMinB + 1) % 3; break;
        case 0x42:
            m_nMaxMinB = 0;
            m_fKirMax = -1e9f;
            m_fKirMin = 1e9f;
            break;
        case 0x14: m_nUpperShows = (m_nUpperShows + 1) % 3; break; // AIR, WB, DP
        case 0x16: m_nUpperShows = 0; break;
        case 0x28: m_bFahrenheit = !m_bFahrenheit; break;
        case 0x2C: m_bBacklight = !m_bBacklight; break;
        case 0x46:
            if (parameter == 0x46)
                m_bRecA = !m_bRecA;
            break;
        case 0x4D: m_bRecB = !m_bRecB; break;
        case 0x50: // power off: silent until the next wake packet
            m_bPowered = false;
            m_nPendingReplies = 0;
            m_replyTimer.stop();
            break;
        default: break;
        }
    }
    emit packetReceived(packet);
}

void SimulatedMeter::requestReply()
{
    if (!m_bPowered || m_bSilent)
        return;
    if (m_nPendingReplies < kMaxPendingReplies)
        ++m_nPendingReplies;
    if (!m_replyTimer.isActive())
        m_replyTimer.start(m_options.replyDelayMs);
}

void SimulatedMeter::sendReply()
{
    if (m_nPendingReplies <= 0 || !m_bPowered || m_bSilent || m_master < 0) {
        m_nPendingReplies = 0;
        return;
    }
    --m_nPendingReplies;
    ++m_nReplies;
    if (m_options.garbageEvery > 0 && m_nReplies % m_options.garbageEvery == 0) {
        char junk[90];
        const int n = 1 + static_cast<int>(m_rng.bounded(90));
        for (int i = 0; i < n; ++i)
            junk[i] = static_cast<char>(m_rng.bounded(256));
        writeBytes(junk, n);
    } else {
        const FrameBytes frame = currentFrame();
        QByteArray out;
        if (m_options.leadByte)
            out.append('\0');
        out.append(reinterpret_cast<const char*>(frame.data()), kFrameSize);
        if (m_options.splitFrames && !m_splitTimer.isActive()) {
            writeBytes(out.constData(), kSplitPiece - 1);
            m_splitRest = out.mid(kSplitPiece - 1);
            m_splitTimer.start(kSplitGapMs);
        } else {
            writeBytes(out.constData(), out.size());
        }
        ++m_nFrames;
        emit frameSent();
        if (m_options.silentAfterFrames > 0 && !m_bSilenceDone && m_nFrames >= m_options.silentAfterFrames) {
            m_bSilenceDone = true;
            setSilent(true);
            if (m_options.silentForMs > 0)
                m_silenceTimer.start(m_options.silentForMs);
        }
    }
    if (m_nPendingReplies > 0)
        m_replyTimer.start(m_options.replyDelayMs);
}

void SimulatedMeter::writePending()
{
    const qsizetype n = std::min<qsizetype>(kSplitPiece, m_splitRest.size());
    writeBytes(m_splitRest.constData(), n);
    m_splitRest.remove(0, n);
    if (!m_splitRest.isEmpty())
        m_splitTimer.start(kSplitGapMs);
}

void SimulatedMeter::writeBytes(const char* data, qsizetype size)
{
    // A full pty buffer (nobody reading) drops the bytes, like a wire.
#ifdef Q_OS_UNIX
    while (size > 0 && m_master >= 0) {
        const ssize_t n = ::write(m_master, data, static_cast<size_t>(size));
        if (n <= 0)
            return;
        data += n;
        size -= n;
    }
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

void SimulatedMeter::simulate()
{
    const double t = double(m_clockMs ? m_clockMs() : m_clock.elapsed()) / 1000.0;
    // Slow waves plus a bounded random walk: readings drift like a room.
    m_fAirWalk = std::clamp(m_fAirWalk + static_cast<float>(m_rng.generateDouble() - 0.5) * 0.04f, -0.5f, 0.5f);
    m_fRhWalk = std::clamp(m_fRhWalk + static_cast<float>(m_rng.generateDouble() - 0.5) * 0.2f, -2.0f, 2.0f);
    m_fAir = static_cast<float>(22.5 + 1.2 * std::sin(kTwoPi * t / 900.0)) + m_fAirWalk;
    m_fRh = std::clamp(static_cast<float>(48.0 + 6.0 * std::sin(kTwoPi * t / 1300.0 + 1.0)) + m_fRhWalk, 5.0f, 99.0f);
    m_fDp = static_cast<float>(psychro::dewPoint(m_fAir, m_fRh));
    m_fWb = static_cast<float>(psychro::wetBulb(m_fAir, m_fRh));
    if (!std::isnan(m_options.fixedKir))
        m_fKir = m_options.fixedKir;
    else if (m_bTypeK)
        m_fKir = m_fAir + 41.0f + static_cast<float>(2.0 * std::sin(kTwoPi * t / 240.0));
    else
        m_fKir = m_fAir + 6.5f + static_cast<float>(0.8 * std::sin(kTwoPi * t / 300.0));
    m_fAirMax = std::max(m_fAirMax, m_fAir);
    m_fAirMin = std::min(m_fAirMin, m_fAir);
    if (m_fKir != kKirMeterMissing) {
        m_fKirMax = std::max(m_fKirMax, m_fKir);
        m_fKirMin = std::min(m_fKirMin, m_fKir);
    }
}

FrameBytes SimulatedMeter::currentFrame()
{
    simulate();
    MeterReading f;
    f.air = m_fAir;
    f.wb = m_fWb;
    f.dp = m_fDp;
    f.rh = m_fRh;
    f.kir = m_fKir;
    const float high = m_bTypeK ? kTypeKHigh : kIrHigh;
    const float low = m_bTypeK ? kTypeKLow : kIrLow;
    if (m_fKir > high)
        f.rangeMarker = kRangeHigh;
    else if (m_fKir < low && m_fKir != kKirMeterMissing)
        f.rangeMarker = kRangeLow;

    f.flagsA = kAPcLink;
    if (!m_options.batteryLow)
        f.flagsA |= kABatteryNormal;
    if (m_nMaxMinA == 1) f.flagsA |= kAMax;
    if (m_nMaxMinA == 2) f.flagsA |= kAMin;
    if (m_nUpperShows == 1) f.flagsA |= kAWb;
    if (m_nUpperShows == 2) f.flagsA |= kADp;
    if (m_bHoldA) f.flagsA |= kAHold;
    if (m_bRecA) f.flagsA |= kARec;
    f.flagsB = 0;
    if (m_nMaxMinB == 1) f.flagsB |= kBMax;
    if (m_nMaxMinB == 2) f.flagsB |= kBMin;
    if (m_bHoldB) f.flagsB |= kBHold;
    if (m_bRecB) f.flagsB |= kBRec;
    if (m_bTypeK) f.flagsB |= kBTypeK;
    if (m_bFahrenheit) f.flagsB |= kBFahrenheit;
    if (m_bBacklight) f.flagsB |= kBBacklight;
    // A held infrared display stops measuring.
    if (m_bHoldB && !m_bTypeK) f.flagsB |= kBIrInactive;

    // The LCD shows what the meter displays, in its display unit.
    const auto shown = [this](float c) { return m_bFahrenheit ? toF(c) : c; };
    float upper = m_nUpperShows == 1 ? m_fWb : m_nUpperShows == 2 ? m_fDp : m_fAir;
    if (m_nMaxMinA == 1) upper = m_fAirMax;
    if (m_nMaxMinA == 2) upper = m_fAirMin;
    float lower = m_fKir;
    if (m_nMaxMinB == 1 && m_fKirMax > -1e8f) lower = m_fKirMax;
    if (m_nMaxMinB == 2 && m_fKirMin < 1e8f) lower = m_fKirMin;
    f.lcd1 = m_bHoldA ? m_fHeldLcd1 : shown(upper);
    f.lcd2 = m_bHoldA ? m_fHeldLcd2 : m_fRh;
    f.lcd3 = m_bHoldB ? m_fHeldLcd3 : (lower == kKirMeterMissing ? lower : shown(lower));
    return encodeFrame(f);
}
