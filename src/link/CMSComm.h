#pragma once
// The serial control: the properties and the receive event the program uses,
// over QSerialPort. Every access that can fail returns a Status whose message
// is the reason (the device is devicePath()); the link decides which
// failures matter, and the watchdog or the next scan tries again.
#include "base/Status.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

class CMSComm : public QObject {
    Q_OBJECT
public:
    // CommEvent values.
    static constexpr int kEvSend = 1;
    static constexpr int kEvReceive = 2;
    static constexpr int kEvBreak = 1001;  // the device went away

    explicit CMSComm(QObject* parent = nullptr);
    ~CMSComm() override;

    // Port number n names serialDeviceForPort(n) unless a device is pinned.
    Status setCommPort(int port);
    int commPort() const { return m_nPort; }
    void setPinnedDevice(const QString& devicePath) { m_pinned = devicePath; }
    const QString& pinnedDevice() const { return m_pinned; }
    // The device the next open uses.
    QString devicePath() const;

    bool portOpen() const { return m_port.isOpen(); }
    Status setPortOpen(bool open);

    // "baud,parity,data,stop", for example "4800,n,8,1".
    Status setSettings(const QString& settings);
    void setRThreshold(int bytes);
    void setInputLen(int bytes) { m_nInputLen = bytes < 0 ? 0 : bytes; }
    // Only 0 is meaningful: it discards everything received so far.
    Status setInBufferCount(int count);
    // Bytes waiting to be read (0 while the port is closed).
    int inBufferCount() const;
    // 1 = binary; text mode is not offered.
    Status setInputMode(int mode);
    Status setOutput(const QByteArray& bytes);
    // Takes and removes the buffered bytes (all of them, or InputLen) into
    // a buffer the caller keeps, so no allocation is needed once it has
    // grown to a frame's size.
    Status readInput(QByteArray& into);
    int commEvent() const { return m_nCommEvent; }

signals:
    // Raised once RThreshold bytes are buffered (CommEvent 2) and when the
    // device disappears (CommEvent 1001, the port is then closed).
    void onComm();

private:
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    Status requireOpen(const char* what) const;
    Status failure(Status::Code code, const QString& reason) const { return Status::failure(code, reason); }

    QSerialPort m_port;
    QString m_pinned;
    int m_nPort = 1;
    int m_nRThreshold = 0;
    int m_nInputLen = 0;
    int m_nCommEvent = 0;
    qint32 m_nBaud = 9600;
    QSerialPort::Parity m_parity = QSerialPort::NoParity;
    QSerialPort::DataBits m_dataBits = QSerialPort::Data8;
    QSerialPort::StopBits m_stopBits = QSerialPort::OneStop;
};
