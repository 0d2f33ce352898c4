#pragma once
// Line faults the station must survive, each drawn from its own seeded generator so
// the readings stay the same whether faults are on or off.
#include <QByteArray>
#include <QList>
#include <random>

namespace nodesim {

class LineFaults {
public:
    explicit LineFaults(quint32 seed) : m_rng(seed) {}

    bool chance(double p);
    // Random whole number in lo..hi.
    int between(int lo, int hi);

    // The sentence with its check digits changed to another valid-looking pair.
    QByteArray wrongCheck(const QByteArray& sentence);
    // The bytes cut into two to four non-empty pieces, in order.
    QList<QByteArray> split(const QByteArray& bytes);
    // A few stray bytes: control characters, NUL, bytes 128..255; never a CR.
    QByteArray stray();
    // n bytes of noise without any CR.
    QByteArray garbage(int n);

private:
    std::mt19937 m_rng;
};

} // namespace nodesim
