#include "link/DeviceIdentity.h"

#include <QByteArray>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <memory>

#ifdef Q_OS_LINUX
#include <dirent.h>
#endif

namespace vt {

namespace {

QList<SeenPort> scanPorts()
{
    QList<SeenPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SeenPort port;
#ifdef Q_OS_WIN
        // A COM name is the device itself: there is no file behind it to resolve.
        port.device = info.portName();
#else
        port.device = QFileInfo(info.systemLocation()).canonicalFilePath();
#endif
        if (port.device.isEmpty())
            continue;
        const auto known = [](bool has, quint16 id) { return has ? std::optional(id) : std::nullopt; };
        port.identity = UsbIdentity(known(info.hasVendorIdentifier(), info.vendorIdentifier()),
                                    known(info.hasProductIdentifier(), info.productIdentifier()),
                                    info.serialNumber());
        ports << port;
    }
    return ports;
}

// Names and inode numbers of the system's tty devices: a device that comes or goes
// (or goes and comes back under the same name) changes it. Empty where unknown.
QByteArray ttyDevicesStamp()
{
    QByteArray stamp;
#ifdef Q_OS_LINUX
    if (DIR* dir = ::opendir("/sys/class/tty")) {
        while (const dirent* entry = ::readdir(dir)) {
            stamp += entry->d_name;
            stamp += ':';
            stamp += QByteArray::number(quint64(entry->d_ino));
            stamp += ';';
        }
        ::closedir(dir);
    }
#endif
    return stamp;
}

} // namespace

QString UsbIdText(quint16 id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

DeviceIdentity UsbIdentity(std::optional<quint16> vendor, std::optional<quint16> product, const QString& serial)
{
    if (!vendor || !product)
        return {};
    return { UsbIdText(*vendor), UsbIdText(*product), serial.trimmed() };
}

QString DeviceIdentity::text() const
{
    if (!known())
        return {};
    QString t = QStringLiteral("USB %1:%2").arg(vendor, product);
    if (!serial.isEmpty())
        t += QStringLiteral(", serial ") + serial;
    return t;
}

PortLister SystemPortLister()
{
    struct Cache {
        QByteArray stamp;
        QList<SeenPort> ports;
        int scansLeft = 0;
        bool filled = false;
    };
    auto cache = std::make_shared<Cache>();
    return [cache] {
        const QByteArray stamp = ttyDevicesStamp();
        if (!cache->filled || stamp.isEmpty() || stamp != cache->stamp) {
            cache->stamp = stamp;
            // udev fills in an adapter's ids a moment after the device appears: look
            // again on the next few calls before trusting what was seen.
            cache->scansLeft = 3;
        }
        if (cache->scansLeft > 0) {
            --cache->scansLeft;
            cache->ports = scanPorts();
            cache->filled = true;
        }
        return cache->ports;
    };
}

AdapterSearch FindAdapter(const DeviceIdentity& wanted, const QString& oldDevice,
                          const QString& portTarget, const QList<SeenPort>& ports)
{
    const bool hasSerial = !wanted.serial.isEmpty();
    for (const SeenPort& port : ports) {
        if (port.identity != wanted)
            continue;
        if (hasSerial || port.device == oldDevice || port.device == portTarget)
            return { Whereabouts::Here, port.device };
    }
    bool oldPlaceTaken = !portTarget.isEmpty();
    for (const SeenPort& port : ports)
        oldPlaceTaken = oldPlaceTaken || port.device == oldDevice;
    return { oldPlaceTaken ? Whereabouts::Stranger : Whereabouts::Gone, QString() };
}

} // namespace vt
