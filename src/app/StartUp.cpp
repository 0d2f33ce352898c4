#include "app/frmMain.h"

#include "link/SerialPort.h"
#include "text/NumberText.h"

#include <QFile>
#include <QRadioButton>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

// The port number from the first line of settings.txt, or the reason there is none.
bool readPortNumber(const QString& path, qint32* number, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read the settings file %1: %2").arg(path, file.errorString());
        return false;
    }
    // Only the first line counts, so a long file need not be read whole.
    const QByteArray head = file.read(4096);
    const bool failed = file.error() != QFileDevice::NoError;
    file.close();
    if (failed) {
        *error = QStringLiteral("Cannot read the settings file %1: %2").arg(path, file.errorString());
        return false;
    }
    if (head.isEmpty()) {
        *error = QStringLiteral("The settings file %1 is empty; its first line must hold the serial port number.").arg(path);
        return false;
    }
    qsizetype end = head.indexOf('\r');
    const qsizetype lf = head.indexOf('\n');
    if (end < 0 || (lf >= 0 && lf < end))
        end = lf;
    const QString line = QString::fromLatin1(end < 0 ? head : head.left(end));
    if (line.isEmpty()) {
        *error = QStringLiteral("The first line of the settings file %1 is empty; it must hold the serial port number.").arg(path);
        return false;
    }
    const auto value = vt::NumericValue(line);
    if (!value) {
        *error = QStringLiteral("The first line of the settings file %1 is not a number: \"%2\".").arg(path, line);
        return false;
    }
    const double whole = vt::RoundHalfEven(*value);
    if (whole < std::numeric_limits<qint32>::min() || whole > std::numeric_limits<qint32>::max()) {
        *error = QStringLiteral("The port number %1 in the settings file is too large.").arg(line.trimmed());
        return false;
    }
    *number = qint32(whole);
    return true;
}

} // namespace

QString frmMain::Form_Load()
{
    QString error;
    if (!readPortNumber(m_programDir + QStringLiteral("/settings.txt"), &PortNumber, &error))
        return error;
    if (PortNumber < -32768 || PortNumber > 32767)
        return QStringLiteral("The port number %1 is outside the range -32768 to 32767.").arg(PortNumber);
    MSComm1->setCommPort(PortNumber);
    if (!MSComm1->setPortOpen(true, &error))
        return error;
    MSComm1->discardInput();
    DatumNodeId = kNoDatumNode;
    // Clearing an option is no selection: no handler runs and nothing is sent.
    for (QRadioButton* o : { optUnitsMetric, optUnitsImperial }) {
        o->setAutoExclusive(false);
        o->setChecked(false);
        o->setAutoExclusive(true);
    }
    // Only now: a failed start-up must not tick behind its message box.
    Timer1->start();
    return {};
}
