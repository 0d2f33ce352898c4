#include "NodeNetwork.h"

#include "link/Checksum.h"

#include <QList>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace nodesim {

namespace {
constexpr double kSeaLevelMb = 1013.25;
constexpr double kLapse = 2.25577e-5;
constexpr double kExponent = 5.25588;
constexpr double kInHgPerMb = 0.0295299830714;
constexpr double kFeetPerMetre = 1.0 / 0.3048;
constexpr std::size_t kMaxPending = 16;  // a station hammering pings must not grow the queue without bound

// Fixed decimals, never "-0.00" for a value that rounds to zero.
QByteArray fixed(double v, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double r = std::round(v * scale) / scale;
    if (r == 0.0)
        r = 0.0;
    return QByteArray::number(r, 'f', decimals);
}

bool toInt(QByteArrayView text, int lo, int hi, int* out)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

void queueOnce(std::deque<int>& q, int index)
{
    if (q.size() < kMaxPending && std::find(q.begin(), q.end(), index) == q.end())
        q.push_back(index);
}
} // namespace

QByteArray Frame(QByteArrayView body)
{
    QByteArray s = body.toByteArray();
    s += '*';
    s += vt::ChecksumText(body);
    s += "\r\n";
    return s;
}

double PressureAt(double elevationM)
{
    return kSeaLevelMb * std::pow(1.0 - kLapse * elevationM, kExponent);
}

double ElevationAt(double pressureMb)
{
    return (1.0 - std::pow(pressureMb / kSeaLevelMb, 1.0 / kExponent)) / kLapse;
}

NodeNetwork::NodeNetwork(Role role, bool imperial, quint32 seed)
    : m_rng(seed)
    , m_nodes { { kCableNodeId, 120.0 }, { 1, 95.0 }, { 5, 140.0 }, { 7, 210.0 } }
    , m_role(role)
    , m_imperial(imperial)
{
}

int NodeNetwork::nodeIndex(int id) const
{
    for (int i = 0; i < m_nodes.size(); ++i)
        if (m_nodes[i].id == id)
            return i;
    return -1;
}

NodeNetwork::Reading NodeNetwork::read(int index, double t)
{
    // The weather moves every node alike; a slow swell of a few tenths of a millibar.
    const double weather = 0.35 * std::sin(2.0 * std::numbers::pi * t / 600.0);
    const double p = PressureAt(m_nodes[index].elevationM) + weather + m_noise(m_rng);
    return { p, ElevationAt(p) };
}

QByteArray NodeNetwork::pressureText(double mb) const
{
    return m_imperial ? fixed(mb * kInHgPerMb, 3) : fixed(mb, 2);
}

QByteArray NodeNetwork::elevationText(double m) const
{
    return fixed(m_imperial ? m * kFeetPerMetre : m, 1);
}

QByteArray NodeNetwork::plainBody(int net, int node, char letter, const Reading& r) const
{
    return QByteArray::number(net) + ',' + QByteArray::number(node) + ',' + letter + ','
        + (m_imperial ? "1," : "0,") + pressureText(r.pressureMb) + ',' + elevationText(r.elevationM);
}

QByteArray NodeNetwork::datumBody(double t)
{
    const Reading own = read(0, t);
    const Reading datum = m_datumNode == 0 ? own : read(m_datumNode, t);
    const double dElev = m_imperial ? (own.elevationM - datum.elevationM) * kFeetPerMetre
                                    : own.elevationM - datum.elevationM;
    QByteArray b = QByteArray::number(m_netId) + ',' + QByteArray::number(m_nodes[0].id) + ','
        + (m_mode == Mode::Adjust ? "A," : "D,") + (m_inverse ? "-1," : "1,")
        + (m_imperial ? "1," : "0,") + pressureText(own.pressureMb - datum.pressureMb) + ",0,"
        + fixed(m_datumValue, 2) + ',' + fixed(dElev + m_datumValue, 1);
    if (m_mode == Mode::Adjust)
        b += ',' + fixed(dElev - m_datumValue, 2);
    return b;
}

QByteArray NodeNetwork::nextBody(double t)
{
    const long block = t < kFirstAnnounce ? -1 : long(std::floor(t / kAnnouncePeriod));
    if (block > m_announceBlock) {
        m_announceBlock = block;
        for (int id : { 5, 7 })
            if (const int i = nodeIndex(id); i > 0)
                queueOnce(m_announcements, i);
    }
    for (auto* q : { &m_pings, &m_announcements }) {
        if (q->empty())
            continue;
        const int i = q->front();
        q->pop_front();
        return plainBody(i == 0 ? m_netId : kNetId, m_nodes[i].id, 'T', read(i, t));
    }
    if (m_mode != Mode::Plain) {
        if (m_datumSince < 0)
            m_datumSince = t;
        if (m_autoAdjust > 0 && !m_autoAdjusted && m_mode == Mode::Datum && t - m_datumSince >= m_autoAdjust) {
            m_mode = Mode::Adjust;
            m_autoAdjusted = true;
        }
        return datumBody(t);
    }
    return plainBody(m_netId, m_nodes[0].id, m_role == Role::Base ? 'B' : 'R', read(0, t));
}

bool NodeNetwork::applyCommand(QByteArrayView command)
{
    if (command.endsWith('!'))
        command.chop(1);
    const QList<QByteArray> f = command.toByteArray().split(',');
    const QByteArray op = f[0].trimmed();
    if (op.size() != 1 || op[0] < '1' || op[0] > '9')
        return false;
    const auto args = f.size() - 1;
    int n = 0;
    switch (op[0]) {
    case '1':
        if (args != 1 || !toInt(f[1], 0, 9999, &n))
            return false;
        m_netId = n;
        return true;
    case '2':
        if (args != 1 || !toInt(f[1], 0, 9999, &n))
            return false;
        m_nodes[0].id = n;
        return true;
    case '3':
        if (args != 1 || !toInt(f[1], 0, 1, &n))
            return false;
        m_imperial = n == 1;
        return true;
    case '4': {
        bool ok = false;
        const double d = f.size() > 1 ? f[1].trimmed().toDouble(&ok) : 0.0;
        if (args != 2 || !ok || !std::isfinite(d) || !toInt(f[2], 0, 9999, &n) || nodeIndex(n) < 0)
            return false;
        m_datumValue = d;
        m_datumNode = nodeIndex(n);
        m_mode = Mode::Datum;
        m_datumSince = -1.0;
        m_autoAdjusted = false;
        return true;
    }
    case '5':  // adjusting only means something against a datum
        if (args != 0 || m_mode == Mode::Plain)
            return false;
        m_mode = Mode::Adjust;
        return true;
    case '6':
        if (args != 0)
            return false;
        m_mode = Mode::Plain;
        m_datumNode = -1;
        m_datumValue = 0.0;
        return true;
    case '7':
        if (args != 0 || m_mode == Mode::Plain)
            return false;
        m_mode = Mode::Datum;
        return true;
    case '8':
        if (args != 1 || !toInt(f[1], 0, 1, &n))
            return false;
        m_inverse = n == 1;
        return true;
    case '9':
        if (args != 1 || !toInt(f[1], 0, 9999, &n) || nodeIndex(n) < 0)
            return false;
        if (m_pings.size() >= kMaxPending)
            return false;
        m_pings.push_back(nodeIndex(n));
        return true;
    }
    return false;
}

QList<QByteArray> CommandSplitter::feed(QByteArrayView bytes)
{
    QList<QByteArray> out;
    for (const char c : bytes) {
        if (quint8(c) < 32)
            continue;  // line ends or noise between commands are not part of any command
        m_pending += c;
        if (c == '!') {
            out.append(m_pending);
            m_pending.clear();
        } else if (m_pending.size() > 256) {
            // No '!' for this long: keep the tail so a late command still gets through.
            m_pending.remove(0, m_pending.size() - 64);
        }
    }
    return out;
}

} // namespace nodesim
