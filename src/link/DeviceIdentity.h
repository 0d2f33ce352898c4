#pragma once
// Which adapter a serial device is, so that a station which lost its line reopens
// that adapter and never a stranger that took its name.
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace vt {

// A USB adapter's identity as the system reports it; empty for a built-in port or a
// pseudo-terminal.
struct DeviceIdentity {
    QString vendor;   // vendor id, four hex digits
    QString product;  // product id, four hex digits
    QString serial;   // empty for the many adapters that carry no serial number

    bool known() const { return !vendor.isEmpty() && !product.isEmpty(); }
    bool operator==(const DeviceIdentity&) const = default;
    // "USB 1a86:7523, serial A9X2" for notices.
    QString text() const;
};

// A USB vendor or product id as the identity holds it: four lowercase hex digits, the
// way the system writes them ("0403").
QString UsbIdText(quint16 id);

// The identity of a port whose USB ids the system knows (an id it does not know is
// empty); none unless it knows both.
DeviceIdentity UsbIdentity(std::optional<quint16> vendor, std::optional<quint16> product, const QString& serial);

struct SeenPort {
    QString device;  // canonical device path, e.g. /dev/ttyUSB0
    DeviceIdentity identity;
};

// Lists the serial ports present with their identities. The tests pass their own.
using PortLister = std::function<QList<SeenPort>()>;

// The system's ports as QSerialPortInfo reports them. The full scan costs tens of
// milliseconds, so it is repeated only when the system's set of tty devices changed.
PortLister SystemPortLister();

enum class Whereabouts {
    Here,      // the adapter is present at `device`
    Gone,      // not present, and nothing else at its old place
    Stranger,  // not present, and another device sits at its old place
};

struct AdapterSearch {
    Whereabouts whereabouts;
    QString device;
};

// Where the adapter `wanted` is now. oldDevice is the device it was opened as;
// portTarget the device com<N> now leads to (empty when it leads nowhere). An adapter
// with a serial number is followed under any name; one without can't be told from
// another of its model, so it is taken back only at its old place.
AdapterSearch FindAdapter(const DeviceIdentity& wanted, const QString& oldDevice,
                          const QString& portTarget, const QList<SeenPort>& ports);

} // namespace vt
