#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <functional>
#include <stdexcept>

class QSocketNotifier;

// A failure of the serial link; what() is the message shown to the operator.
class EVaCommError : public std::runtime_error
{
public:
    explicit EVaCommError(const QString &message);
};

// The serial link: one port, opened on demand, written on the calling thread,
// and watched on the UI thread so that received bytes are announced only while
// that thread handles its events (never inside a write or a pause).
class TVaComm : public QObject
{
    Q_OBJECT

public:
    // Maps a port name ("COM3") to a device path; an empty path means no such device.
    using DevicePathResolver = std::function<QString(const QString &deviceName)>;

    explicit TVaComm(QObject *parent = nullptr);
    ~TVaComm() override;

    int PortNum() const { return portNum_; }
    void setPortNum(int portNum);
    QString DeviceName() const { return deviceName_; }
    void setDeviceName(const QString &pattern) { deviceName_ = pattern; }
    // Asked at every Open; the default is ktb::defaultDevicePath.
    void setDevicePathResolver(DevicePathResolver resolver);

    void Open();
    bool WriteBytes(QByteArrayView data);
    QByteArray ReadWaiting();
    int WaitingCount();
    void Close();
    bool Active() const { return fd_ >= 0; }

    // Run on the UI thread with the number of bytes waiting (at least 1) after bytes
    // arrived. A failure it raises goes to the application's default error report.
    std::function<void(QObject *sender, int count)> OnRxChar;

private:
    void notify();

    int portNum_ = 0;
    QString deviceName_ = QStringLiteral("COM%d");
    DevicePathResolver resolver_;
    int fd_ = -1;
    int epollFd_ = -1;
    QSocketNotifier *notifier_ = nullptr;
};
