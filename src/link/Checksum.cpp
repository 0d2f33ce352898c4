#include "link/Checksum.h"

namespace vt {

namespace {
constexpr char kHex[] = "0123456789ABCDEF";

// XOR of the non-control characters of body after its first one.
quint8 checkValue(QByteArrayView body, qsizetype* starAt)
{
    quint8 v = 0;
    bool first = true;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const auto c = quint8(body[i]);
        if (c < 32)
            continue;
        if (c == '*' && starAt) {
            *starAt = i;
            if (first)
                return '*';  // '*' as first character: nothing between, v stays its code
            return v;
        }
        if (first)
            first = false;  // the first character XORs itself out
        else
            v ^= c;
    }
    if (starAt)
        *starAt = -1;
    return v;
}
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
    qsizetype star = -1;
    const quint8 v = checkValue(text, &star);
    if (star < 0)
        return false;
    // The two check characters are the next two non-control characters after '*'.
    char got[2];
    int n = 0;
    for (qsizetype i = star + 1; i < text.size() && n < 2; ++i)
        if (quint8(text[i]) >= 32)
            got[n++] = text[i];
    return n == 2 && got[0] == kHex[v >> 4] && got[1] == kHex[v & 0xF];
}

QByteArray ChecksumText(QByteArrayView body)
{
    const QByteArray b = StripControlChars(body);
    quint8 v = b.isEmpty() ? quint8('*') : 0;  // an empty body means '*' comes first
    for (qsizetype i = 1; i < b.size(); ++i)
        v ^= quint8(b[i]);
    // Not a braced pair of chars: that would pick QByteArray(size, fill).
    const char text[2] = { kHex[v >> 4], kHex[v & 0xF] };
    return QByteArray(text, 2);
}

} // namespace vt
