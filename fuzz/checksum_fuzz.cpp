// The sentence check against a second, deliberately plain reading of the rule: the
// first sentence ends at its carriage return (nothing after it may lend a '*' or a
// check digit); drop every byte below 32, XOR what lies between the first byte and
// the first '*', and compare with the two bytes after the '*' as upper-case hex.
#include "link/Checksum.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool referenceCheck(const std::uint8_t* data, std::size_t size)
{
    std::string t;
    for (std::size_t i = 0; i < size && data[i] != '\r'; ++i)
        if (data[i] >= 32)
            t.push_back(char(data[i]));
    const std::size_t star = t.find('*');
    if (star == std::string::npos)
        return false;
    unsigned v = 42;  // stays the code of '*' when '*' comes first
    if (star > 0) {
        v = 0;
        for (std::size_t i = 1; i < star; ++i)
            v ^= std::uint8_t(t[i]);
    }
    if (t.size() < star + 3)
        return false;
    const char* hex = "0123456789ABCDEF";
    return t[star + 1] == hex[v >> 4] && t[star + 2] == hex[v & 15];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    const bool got = vt::VerifyChecksum(text);
    if (got != referenceCheck(data, size)) {
        std::fprintf(stderr, "VerifyChecksum says %d, the reference says %d\n", got, !got);
        std::abort();
    }

    const QByteArray stripped = vt::StripControlChars(text);
    qsizetype kept = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] < 32)
            continue;
        if (kept >= stripped.size() || std::uint8_t(stripped[kept]) != data[i])
            std::abort();
        ++kept;
    }
    if (kept != stripped.size())
        std::abort();

    // Whatever body the check text is made for, body + '*' + check passes.
    const QByteArray body = stripped.left(stripped.indexOf('*') < 0 ? stripped.size() : stripped.indexOf('*'));
    if (!vt::VerifyChecksum(body + '*' + vt::ChecksumText(body) + '\r'))
        std::abort();
    return 0;
}
