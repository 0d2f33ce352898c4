#include "commands/CommandText.h"
#include "commands/DatumButton.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandText, SentencesAreExactBytes)
{
    using namespace vt::cmd;
    const struct { QByteArray actual, expected; } cases[] = {
        {SetNetId(QStringLiteral("12")), "1,12!"}, {SetNodeId(QStringLiteral("5")), "2,5!"},
        {Units(false), "3,0!"}, {Units(true), "3,1!"},
        {SetDatum(QStringLiteral("-12.5"), QStringLiteral("7")), "4,-12.5,7!"},
        {Adjust(), "5!"}, {Reset(), "6!"}, {Resume(), "7!"},
        {Inverse(false), "8,0!"}, {Inverse(true), "8,1!"}, {Ping(QStringLiteral("3")), "9,3!"},
        // Arguments go out untouched: empty, blanks, Latin-1.
        {SetNetId(QString()), "1,!"},
        {SetDatum(QStringLiteral(" 29.92 "), QStringLiteral("x")), "4, 29.92 ,x!"},
        {Ping(QStringLiteral("\u00e9")), "9,\xe9!"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.actual, c.expected);
}

TEST(CommandText, DescribedByNameOnlyInACommandsForm)
{
    const struct { QByteArray sentence; const char* described; } cases[] = {
        {"1,12!", "NetID (1,12!)"}, {"4,-12.5,7!", "datum (4,-12.5,7!)"}, {"6!", "reset (6!)"},
        {"9,3!", "ping (9,3!)"},
        // Not a command's form: shown as it is.
        {"", ""}, {"0!", "0!"}, {":!", ":!"}, {"/!", "/!"}, {"5", "5"}, {"55!", "55!"}, {"6?", "6?"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vt::cmd::Describe(c.sentence), QLatin1String(c.described)) << c.sentence.constData();
}

TEST(DatumButton, CaptionIsTheState)
{
    using vt::datum::Mode;
    const struct {
        QString caption;
        std::optional<Mode> mode;
        bool showsNodeValue;
    } rows[] = {
        { vt::datum::Caption(Mode::Ping), Mode::Ping, false },
        { vt::datum::Caption(Mode::Datum), Mode::Datum, false },
        { vt::datum::Caption(Mode::Datum, QStringLiteral("100.00")), Mode::Datum, true },
        { vt::datum::Caption(Mode::Adjust, QStringLiteral("-0.25")), Mode::Adjust, true },
        // The first of Datum, Adjust and Ping wins, wherever it stands.
        { QStringLiteral("Datum (Adjust)"), Mode::Datum, true },
        { QStringLiteral("Adjust (Ping)"), Mode::Adjust, true },
        { QStringLiteral("No Data"), std::nullopt, false },
        { QStringLiteral("ping"), std::nullopt, false },
    };
    EXPECT_EQ(vt::datum::Caption(Mode::Ping), QStringLiteral("Ping"));
    EXPECT_EQ(vt::datum::Caption(Mode::Adjust, QStringLiteral("1.50")), QStringLiteral("Adjust (1.50)"));
    for (const auto& r : rows) {
        EXPECT_EQ(vt::datum::ModeOf(r.caption), r.mode) << r.caption.toStdString();
        EXPECT_EQ(vt::datum::ShowsNodeValue(r.caption), r.showsNodeValue) << r.caption.toStdString();
    }
}

} // namespace
