#include "commands/DatumButton.h"

namespace vt::datum {

namespace {
constexpr QLatin1StringView kPing("Ping");
constexpr QLatin1StringView kDatum("Datum");
constexpr QLatin1StringView kAdjust("Adjust");
} // namespace

QString Caption(Mode mode)
{
    return QString(mode == Mode::Ping ? kPing : mode == Mode::Datum ? kDatum : kAdjust);
}

QString Caption(Mode mode, const QString& value)
{
    return Caption(mode) + QLatin1String(" (") + value + QLatin1Char(')');
}

std::optional<Mode> ModeOf(const QString& caption)
{
    if (caption.contains(kDatum))
        return Mode::Datum;
    if (caption.contains(kAdjust))
        return Mode::Adjust;
    if (caption.contains(kPing))
        return Mode::Ping;
    return std::nullopt;
}

bool ShowsNodeValue(const QString& caption)
{
    return caption.contains(kAdjust + QLatin1String(" (")) || caption.contains(kDatum + QLatin1String(" ("));
}

} // namespace vt::datum
