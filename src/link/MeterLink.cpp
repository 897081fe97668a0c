#include "link/MeterLink.h"

#include "link/MeterProtocol.h"
#include "link/PortDiscovery.h"
#include "link/PortStatus.h"

#ifdef Q_OS_WIN
#include <QSerialPortInfo>
#include <algorithm>
#endif

namespace {

// The bridge's port values ("COM<n>"), first match first.
QStringList bridgePortValues(const QString& sysfsRoot)
{
#if defined(Q_OS_LINUX)
    return discovery::cp210xPortValues(sysfsRoot);
#elif defined(Q_OS_WIN)
    // The system's port list; Silicon Labs' vendor id marks the bridge.
    Q_UNUSED(sysfsRoot);
    QStringList values;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (info.hasVendorIdentifier() && info.vendorIdentifier() == 0x10C4)
            values.append(info.portName());
    }
    std::sort(values.begin(), values.end(), [](const QString& a, const QString& b) {
        return discovery::parsePortValue(a) < discovery::parsePortValue(b);
    });
    return values.mid(0, discovery::kMaxBridgeEntries);
#else
    // No numbered ports here: the device is pinned on the command line.
    Q_UNUSED(sysfsRoot);
    return {};
#endif
}

} // namespace

MeterLink::MeterLink(const LinkOptions& options, RunState& run, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_run(run)
    , m_watcher(options.sysfsRoot)
    , m_pollPacket(meter::pollPacket())
    , m_wakePacket(meter::wakePacket())
{
    m_comm.setPinnedDevice(options.portDevice);
    (void)m_comm.setCommPort(m_nComPort);
    m_chunk.reserve(256);
    m_rx.reserve(512);
    connect(&m_comm, &CMSComm::onComm, this, &MeterLink::onComm);
    connect(&m_watcher, &DeviceWatcher::devicesChanged, this, &MeterLink::devicesChanged);
}

void MeterLink::setComPort(int port)
{
    m_nComPort = (port >= discovery::kMinPort && port <= discovery::kMaxPort) ? port : 1;
    if (!m_comm.portOpen())
        (void)m_comm.setCommPort(m_nComPort); // in range: cannot fail while closed
}

void MeterLink::start()
{
    std::fill(std::begin(m_bNoFrame), std::end(m_bNoFrame), false);
    noFrameFlag() = true;
    m_bRequestReady = false;
    if (m_options.portDevice.isEmpty())
        m_watcher.start();
}

void MeterLink::pollTick()
{
    // At most one request is outstanding. A reply that did not come back
    // whole and valid within a tick is lost: while the meter answers, that
    // costs only its sample, and the next request goes out anyway. Only
    // real silence ends a run, through the watchdog.
    const bool replyLost = m_bAwaitingReply && !m_run.m_bNoLink;
    if (!m_bRequestReady && !replyLost)
        return;
    if (replyLost)
        discardReceived();
    // A request that cannot be written is lost like a reply; the watchdog
    // notices a port that stays unusable.
    (void)m_comm.setOutput(m_pollPacket);
    m_bRequestReady = false;
    m_bAwaitingReply = true;
}

void MeterLink::scanTick()
{
    if (!m_options.portDevice.isEmpty()) {
        // A pinned device needs no discovery: open it right away.
        openPort();
        return;
    }
    const discovery::ScanDecision d = discovery::decideScan(bridgePortValues(m_options.sysfsRoot));
    switch (d.kind) {
    case discovery::ScanDecision::NoBridge:
        return;
    case discovery::ScanDecision::OutOfRange:
        closePort();
        emit over16Message(QString::fromLatin1(discovery::kOver16Message));
        m_run.m_bNoLink = true;
        emit linkLost(false);
        return;
    case discovery::ScanDecision::UsePort:
        break;
    }
    m_nComPort = d.port;
    closePort();
    if (Status s = runOpenSequence(); !s.ok()) {
        reportOpenError(s);
        closePort();
    }
}

void MeterLink::watchdogTick()
{
    if (noFrameFlag()) {
        m_run.onLinkLost();
        closePort();
        openPort();
        if (m_comm.portOpen())
            setStatus(portstatus::noAnswerText(devicePath()));
        emit linkLost(true);
    }
    noFrameFlag() = true;
}

void MeterLink::sendPacket(const QByteArray& packet)
{
    (void)m_comm.setOutput(packet);
}

void MeterLink::openPort()
{
    if (Status s = runOpenSequence(); !s.ok())
        reportOpenError(s);
}

void MeterLink::closePort()
{
    if (m_comm.portOpen())
        (void)m_comm.setPortOpen(false); // closing cannot fail
    discardReceived();
    m_bAwaitingReply = false;
}

Status MeterLink::runOpenSequence()
{
    closePort();
    for (Status s : {m_comm.setCommPort(m_nComPort), m_comm.setInputMode(1),
                     m_comm.setSettings(QStringLiteral("4800,n,8,1"))}) {
        if (!s.ok())
            return s;
    }
    m_comm.setRThreshold(meter::kFrameSize);
    m_comm.setInputLen(0);
    if (Status s = m_comm.setPortOpen(true); !s.ok())
        return s;
    if (Status s = m_comm.setInBufferCount(0); !s.ok())
        return s;
    if (Status s = m_comm.setOutput(m_wakePacket); !s.ok())
        return s;
    if (m_run.m_bNoLink)
        setStatus(portstatus::waitingText(devicePath()));
    return Status::success();
}

void MeterLink::reportOpenError(const Status& failure)
{
    switch (failure.code()) {
    case Status::Code::PermissionDenied:
        setStatus(portstatus::permissionText(devicePath()));
        break;
    case Status::Code::NoSuchDevice:
        setStatus(portstatus::missingDeviceText(devicePath()));
        break;
    default:
        setStatus(portstatus::openFailedText(devicePath(), failure.message()));
        break;
    }
}

void MeterLink::discardReceived()
{
    m_rx.resize(0);
    m_comm.setRThreshold(meter::kFrameSize);
    if (m_comm.portOpen())
        (void)m_comm.setInBufferCount(0);
}

void MeterLink::onComm()
{
    if (m_comm.commEvent() == CMSComm::kEvBreak)
        setStatus(portstatus::removedText(devicePath()));
    if (m_comm.commEvent() != CMSComm::kEvReceive) {
        discardReceived();
        return;
    }
    if (!m_comm.readInput(m_chunk).ok())
        return;
    receive(m_chunk);
}

void MeterLink::receive(const QByteArray& received)
{
    m_rx.append(received);

    // Resynchronise: a frame starts at its header, and whatever came before
    // it is line noise. A header that has arrived without the rest of its
    // frame waits for the missing bytes.
    const auto* bytes = reinterpret_cast<const uint8_t*>(m_rx.constData());
    const qsizetype start = meter::frameStart(bytes, m_rx.size());
    if (start > 0)
        m_rx.remove(0, start);
    if (m_rx.size() < meter::kFrameSize) {
        m_comm.setRThreshold(int(meter::kFrameSize - m_rx.size()));
        if (!m_rx.isEmpty())
            return;
        // Nothing that could be a frame: still a receive event, so the run
        // end check runs as after any reply.
        m_rx.append(received);
    }
    m_comm.setRThreshold(meter::kFrameSize);
    decodeReceived();
}

void MeterLink::decodeReceived()
{
    const std::optional<meter::MeterReading> reading = meter::parseFrame(m_rx);
    // The frame is used; what followed it in the same read is dropped.
    m_rx.resize(0);
    if (!reading) {
        emit bufferRejected();
        return;
    }
    m_bRequestReady = true;
    m_bAwaitingReply = false;
    noFrameFlag() = false;
    if (m_run.m_bNoLink)
        setStatus(portstatus::connectedText(devicePath()));
    emit readingReceived(*reading);
}

void MeterLink::setStatus(const QString& text)
{
    if (text == m_strStatus)
        return;
    m_strStatus = text;
    emit portStatusChanged(m_strStatus);
}
