#include "commands/CommandText.h"

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

} // namespace
