#include "Faults.h"

#include <algorithm>

namespace nodesim {

bool LineFaults::chance(double p)
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < p;
}

int LineFaults::between(int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(m_rng);
}

QByteArray LineFaults::wrongCheck(const QByteArray& sentence)
{
    QByteArray s = sentence;
    const qsizetype star = s.lastIndexOf('*');
    if (star < 0 || star + 2 >= s.size())
        return s;
    bool ok = false;
    const int good = s.mid(star + 1, 2).toInt(&ok, 16);
    // XOR with 1..255 always gives a different value that still looks like a check.
    const int bad = (ok ? good : 0) ^ between(1, 255);
    s.replace(star + 1, 2, QByteArray::number(bad, 16).rightJustified(2, '0').toUpper());
    return s;
}

QList<QByteArray> LineFaults::split(const QByteArray& bytes)
{
    const int pieces = std::min<int>(between(2, 4), int(bytes.size()));
    QList<int> cuts;
    while (cuts.size() < pieces - 1)
        if (const int c = between(1, int(bytes.size()) - 1); !cuts.contains(c))
            cuts.append(c);
    std::sort(cuts.begin(), cuts.end());
    cuts.append(int(bytes.size()));
    QList<QByteArray> out;
    int from = 0;
    for (const int c : cuts) {
        out.append(bytes.mid(from, c - from));
        from = c;
    }
    return out;
}

QByteArray LineFaults::stray()
{
    QByteArray out;
    for (int n = between(1, 4); n > 0; --n) {
        int b = chance(0.5) ? between(0, 31) : between(128, 255);
        if (b == '\r')
            b = 0;
        out.append(char(b));
    }
    return out;
}

QByteArray LineFaults::garbage(int n)
{
    QByteArray out(n, '\0');
    for (char& c : out) {
        const int b = between(0, 254);
        c = char(b >= '\r' ? b + 1 : b);  // every byte value but CR
    }
    return out;
}

} // namespace nodesim
