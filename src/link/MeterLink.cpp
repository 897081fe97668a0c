#include "link/MeterLink.h"

#include "link/MeterProtocol.h"
#include "link/PortDiscovery.h"
#include "link/PortStatus.h"

#include <QDateTime>
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

MeterLink::MeterLink(const LinkOptions& options, RunState& run, LiveSeries& live, LimitsSource limits, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_run(run)
    , m_limits(std::move(limits))
    , m_decoder(run, live)
    , m_watcher(options.sysfsRoot)
    , m_pollPacket(meter::pollPacket())
    , m_wakePacket(meter::wakePacket())
{
    setLimitsSource(std::move(m_limits));
    m_comm.setPinnedDevice(options.portDevice);
    m_comm.setCommPort(m_nComPort);
    m_rx.reserve(256);
    connect(&m_comm, &CMSComm::onComm, this, &MeterLink::onComm);
    connect(&m_watcher, &DeviceWatcher::devicesChanged, this, &MeterLink::devicesChanged);
}

void MeterLink::setLimitsSource(LimitsSource limits)
{
    m_limits = limits ? std::move(limits) : LimitsSource([] { return AlarmLimits {}; });
}

void MeterLink::setComPort(int port)
{
    m_nComPort = (port >= discovery::kMinPort && port <= discovery::kMaxPort) ? port : 1;
    try {
        if (!m_comm.portOpen())
            m_comm.setCommPort(m_nComPort);
    } catch (const CommError&) {
    }
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
    if (!m_bRequestReady)
        return;
    try {
        m_comm.setOutput(m_pollPacket);
    } catch (const CommError&) {
    }
    m_bRequestReady = false;
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
        emit linkLost();
        return;
    case discovery::ScanDecision::UsePort:
        break;
    }
    m_nComPort = d.port;
    try {
        if (m_comm.portOpen())
            m_comm.setPortOpen(false);
        m_comm.setCommPort(m_nComPort);
        if (!m_comm.portOpen())
            m_comm.setPortOpen(true);
        runOpenSequence();
    } catch (const CommError& e) {
        reportOpenError(e);
        closePort();
    }
}

void MeterLink::watchdogTick()
{
    if (noFrameFlag()) {
        std::fill(std::begin(m_bHiAlarm), std::end(m_bHiAlarm), false);
        std::fill(std::begin(m_bLowAlarm), std::end(m_bLowAlarm), false);
        m_run.onLinkLost();
        closePort();
        openPort();
        if (m_comm.portOpen())
            setStatus(portstatus::noAnswerText(devicePath()));
        emit linkLost();
    }
    noFrameFlag() = true;
}

void MeterLink::sendPacket(const QByteArray& packet)
{
    try {
        m_comm.setOutput(packet);
    } catch (const CommError&) {
    }
}

void MeterLink::openPort()
{
    try {
        runOpenSequence();
    } catch (const CommError& e) {
        reportOpenError(e);
    }
}

void MeterLink::closePort()
{
    try {
        if (m_comm.portOpen())
            m_comm.setPortOpen(false);
    } catch (const CommError&) {
    }
}

void MeterLink::runOpenSequence()
{
    if (m_comm.portOpen())
        m_comm.setPortOpen(false);
    m_comm.setCommPort(m_nComPort);
    m_comm.setInputMode(1);
    m_comm.setSettings(QStringLiteral("4800,n,8,1"));
    m_comm.setRThreshold(meter::kFrameSize);
    m_comm.setInputLen(0);
    if (!m_comm.portOpen())
        m_comm.setPortOpen(true);
    m_comm.setInBufferCount(0);
    m_comm.setOutput(m_wakePacket);
    if (m_run.m_bNoLink)
        setStatus(portstatus::waitingText(devicePath()));
}

void MeterLink::reportOpenError(const CommError& e)
{
    switch (e.kind()) {
    case CommError::PermissionDenied:
        setStatus(portstatus::permissionText(e.device()));
        break;
    case CommError::NoSuchDevice:
        setStatus(portstatus::missingDeviceText(e.device()));
        break;
    default:
        setStatus(portstatus::openFailedText(e.device(), e.reason()));
        break;
    }
}

void MeterLink::onComm()
{
    try {
        if (m_comm.commEvent() == CMSComm::kEvBreak)
            setStatus(portstatus::removedText(devicePath()));
        if (m_comm.commEvent() != CMSComm::kEvReceive) {
            m_comm.setInBufferCount(0);
            return;
        }
        m_comm.readInput(m_rx);
    } catch (const CommError&) {
        return;
    }
    const bool wasNoLink = m_run.m_bNoLink;
    const DecodeResult r =
        m_decoder.decode(m_rx, QDateTime::currentSecsSinceEpoch(), m_limits(), m_bHiAlarm, m_bLowAlarm);
    if (r.valid) {
        m_bRequestReady = true;
        noFrameFlag() = false;
        if (wasNoLink)
            setStatus(portstatus::connectedText(devicePath()));
    }
    emit frameDecoded(r);
}

void MeterLink::setStatus(const QString& text)
{
    if (text == m_strStatus)
        return;
    m_strStatus = text;
    emit portStatusChanged(m_strStatus);
}
