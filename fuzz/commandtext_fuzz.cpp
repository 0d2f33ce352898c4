// The command sentences: for any argument texts each sentence is the command number,
// each argument after a ',', and '!' last, with no line end and no check value.
#include "commands/CommandText.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void expect(const QByteArray& got, const QByteArray& want)
{
    if (got != want) {
        std::fprintf(stderr, "sentence \"%s\", expected \"%s\"\n", got.constData(), want.constData());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Two argument texts, split at the first NUL byte; read as UTF-8, as typed text
    // could be anything the keyboard gives.
    const QByteArray raw(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = raw.indexOf('\0');
    const QString a = QString::fromUtf8(split < 0 ? raw : raw.left(split));
    const QString b = split < 0 ? QString() : QString::fromUtf8(raw.mid(split + 1));
    const QByteArray la = a.toLatin1();
    const QByteArray lb = b.toLatin1();

    expect(vt::cmd::SetNetId(a), "1," + la + '!');
    expect(vt::cmd::SetNodeId(a), "2," + la + '!');
    expect(vt::cmd::SetDatum(a, b), "4," + la + ',' + lb + '!');
    expect(vt::cmd::Ping(b), "9," + lb + '!');
    const bool flag = size > 0 && (data[0] & 1);
    expect(vt::cmd::Units(flag), flag ? "3,1!" : "3,0!");
    expect(vt::cmd::Inverse(flag), flag ? "8,1!" : "8,0!");
    expect(vt::cmd::Adjust(), "5!");
    expect(vt::cmd::Reset(), "6!");
    expect(vt::cmd::Resume(), "7!");

    return 0;
}
