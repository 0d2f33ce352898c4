#pragma once
// cmdDatum does one of three things, and its caption is the only record of which: the
// caption is the state. Everything that writes or reads that caption goes through here.
#include <QString>

#include <optional>

namespace vt::datum {

enum class Mode { Ping, Datum, Adjust };

// The bare caption: "Ping", "Datum" (a datum node chosen, no value yet) or "Adjust".
QString Caption(Mode mode);
// The caption with a node's value, shown as given: "Datum (12.5)", "Adjust (-0.25)".
QString Caption(Mode mode, const QString& value);

// The mode a caption stands for: the first of "Datum", "Adjust" and "Ping" it contains.
std::optional<Mode> ModeOf(const QString& caption);

// True while the caption shows a node's datum or adjustment value ("Datum (…)",
// "Adjust (…)"), which a rover's report takes back to Ping.
bool ShowsNodeValue(const QString& caption);

} // namespace vt::datum
