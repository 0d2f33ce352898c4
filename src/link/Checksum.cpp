#include "link/Checksum.h"

namespace vt {

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
} // namespace

QByteArray StripControlChars(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char ch : text)
        if (quint8(ch) >= 32)
            out.append(ch);
    return out;
}

bool VerifyChecksum(QByteArrayView text)
{
    // Only the first sentence counts: neither its '*' nor its check digits may be
    // borrowed from whatever follows its carriage return.
    if (const qsizetype cr = text.indexOf('\r'); cr >= 0)
        text = text.first(cr);
    const qsizetype star = text.indexOf('*');
    if (star < 0)
        return false;
    const quint8 v = CheckValue(text.first(star));
    // The two check characters are the next two non-control characters after '*'.
    char got[2];
    int n = 0;
    for (qsizetype i = star + 1; i < text.size() && n < 2; ++i)
        if (quint8(text[i]) >= 32)
            got[n++] = text[i];
    return n == 2 && got[0] == kHex[v >> 4] && got[1] == kHex[v & 0xF];
}

quint8 CheckValue(QByteArrayView text)
{
    quint8 v = 0;
    bool first = true;
    for (const char ch : text) {
        if (quint8(ch) < 32)
            continue;
        if (first)
            first = false;  // the first character XORs itself out
        else
            v ^= quint8(ch);
    }
    return first ? quint8('*') : v;
}

QByteArray ChecksumText(QByteArrayView body)
{
    const quint8 v = CheckValue(body);
    // Not a braced pair of chars: that would pick QByteArray(size, fill).
    const char text[2] = { kHex[v >> 4], kHex[v & 0xF] };
    return QByteArray(text, 2);
}

qsizetype SplitSentence(QByteArrayView text, QByteArray* fields, int fieldCount,
                        const std::function<bool()>& afterEach)
{
    int field = 0;
    bool starSeen = false;
    for (qsizetype k = 0; k < text.size(); ++k) {
        const char ch = text[k];
        if (ch == '\r')
            return k;
        if (ch == ',') {
            ++field;
        } else if (ch != '\n') {
            starSeen = starSeen || ch == '*';
            if (ch != '\0' && !starSeen && field < fieldCount)
                fields[field].append(ch);
        }
        if (afterEach && !afterEach())
            return -1;
    }
    return -1;
}

} // namespace vt
