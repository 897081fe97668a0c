#include "link/CMSComm.h"

#include "link/SerialPortName.h"

CMSComm::CMSComm(QObject* parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &CMSComm::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &CMSComm::onError);
}

CMSComm::~CMSComm()
{
    if (m_port.isOpen())
        m_port.close();
}

QString CMSComm::devicePath() const
{
    return m_pinned.isEmpty() ? serialDeviceForPort(m_nPort) : m_pinned;
}

Status CMSComm::requireOpen(const char* what) const
{
    if (!m_port.isOpen())
        return failure(Status::Code::NotOpen, QStringLiteral("%1 needs the port open").arg(QLatin1String(what)));
    return Status::success();
}

Status CMSComm::setCommPort(int port)
{
    if (m_port.isOpen())
        return failure(Status::Code::Busy, QStringLiteral("the port number cannot change while open"));
    if (port < 1)
        return failure(Status::Code::BadSetting, QStringLiteral("invalid port number %1").arg(port));
    m_nPort = port;
    return Status::success();
}

Status CMSComm::setPortOpen(bool open)
{
    if (open == m_port.isOpen()) {
        if (open)
            return failure(Status::Code::Busy, QStringLiteral("port already open"));
        return Status::success();
    }
    if (!open) {
        m_port.close();
        return Status::success();
    }
    m_port.setPortName(devicePath());
    if (!m_port.open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError e = m_port.error();
        const QString reason = m_port.errorString();
        m_port.clearError();
        switch (e) {
        case QSerialPort::PermissionError:
            // QSerialPort reports a device held by another program (its
            // lock file) the same way; tell the two apart by access rights.
            return failure(Status::Code::PermissionDenied, reason);
        case QSerialPort::DeviceNotFoundError:
            return failure(Status::Code::NoSuchDevice, reason);
        default:
            return failure(Status::Code::CannotOpen, reason);
        }
    }
    // Settings made before the open take effect now. A pseudo-terminal
    // refuses the modem lines; that is not a reason to fail.
    m_port.setBaudRate(m_nBaud);
    m_port.setParity(m_parity);
    m_port.setDataBits(m_dataBits);
    m_port.setStopBits(m_stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setDataTerminalReady(true);
    m_port.setRequestToSend(true);
    m_port.clearError();
    m_nCommEvent = 0;
    return Status::success();
}

Status CMSComm::setSettings(const QString& settings)
{
    const QStringList parts = settings.split(u',');
    bool ok = parts.size() == 4;
    qint32 baud = 0;
    int data = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stop = QSerialPort::OneStop;
    if (ok)
        baud = parts[0].trimmed().toInt(&ok);
    if (ok) {
        const QString p = parts[1].trimmed().toLower();
        if (p == u"n")
            parity = QSerialPort::NoParity;
        else if (p == u"e")
            parity = QSerialPort::EvenParity;
        else if (p == u"o")
            parity = QSerialPort::OddParity;
        else if (p == u"m")
            parity = QSerialPort::MarkParity;
        else if (p == u"s")
            parity = QSerialPort::SpaceParity;
        else
            ok = false;
    }
    if (ok) {
        data = parts[2].trimmed().toInt(&ok);
        ok = ok && data >= 5 && data <= 8;
    }
    if (ok) {
        const QString s = parts[3].trimmed();
        if (s == u"1")
            stop = QSerialPort::OneStop;
        else if (s == u"1.5")
            stop = QSerialPort::OneAndHalfStop;
        else if (s == u"2")
            stop = QSerialPort::TwoStop;
        else
            ok = false;
    }
    if (!ok || baud <= 0)
        return failure(Status::Code::BadSetting, QStringLiteral("invalid settings \"%1\"").arg(settings));
    m_nBaud = baud;
    m_parity = parity;
    m_dataBits = static_cast<QSerialPort::DataBits>(data);
    m_stopBits = stop;
    if (m_port.isOpen()) {
        m_port.setBaudRate(m_nBaud);
        m_port.setParity(m_parity);
        m_port.setDataBits(m_dataBits);
        m_port.setStopBits(m_stopBits);
        m_port.clearError();
    }
    return Status::success();
}

void CMSComm::setRThreshold(int bytes)
{
    m_nRThreshold = bytes < 0 ? 0 : bytes;
}

Status CMSComm::setInBufferCount(int count)
{
    if (Status s = requireOpen("InBufferCount"); !s.ok())
        return s;
    if (count != 0)
        return failure(Status::Code::BadSetting, QStringLiteral("InBufferCount can only be set to 0"));
    // Bytes already read into QSerialPort's buffer and those still in the
    // driver both go.
    m_port.clear(QSerialPort::Input);
    m_port.readAll();
    return Status::success();
}

int CMSComm::inBufferCount() const
{
    return m_port.isOpen() ? static_cast<int>(m_port.bytesAvailable()) : 0;
}

Status CMSComm::setInputMode(int mode)
{
    if (mode != 1)
        return failure(Status::Code::BadSetting, QStringLiteral("only binary input is supported"));
    return Status::success();
}

Status CMSComm::setOutput(const QByteArray& bytes)
{
    if (Status s = requireOpen("Output"); !s.ok())
        return s;
    if (m_port.write(bytes) != bytes.size())
        return failure(Status::Code::WriteFailed, m_port.errorString());
    return Status::success();
}

Status CMSComm::readInput(QByteArray& into)
{
    if (Status s = requireOpen("Input"); !s.ok()) {
        into.resize(0);
        return s;
    }
    qint64 n = m_port.bytesAvailable();
    if (m_nInputLen > 0 && n > m_nInputLen)
        n = m_nInputLen;
    into.resize(n);
    const qint64 got = n > 0 ? m_port.read(into.data(), n) : 0;
    into.resize(got < 0 ? 0 : got);
    return Status::success();
}

void CMSComm::onReadyRead()
{
    // Bytes come in pieces; the receiver hears of them only once a whole
    // frame's worth is waiting, never for fewer.
    if (m_nRThreshold <= 0 || m_port.bytesAvailable() < m_nRThreshold)
        return;
    m_nCommEvent = kEvReceive;
    emit onComm();
}

void CMSComm::onError(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError || !m_port.isOpen())
        return;
    // The device went away: QSerialPort still calls itself open. Close it so
    // the next open (watchdog) starts clean.
    m_port.close();
    m_port.clearError();
    m_nCommEvent = kEvBreak;
    emit onComm();
}
