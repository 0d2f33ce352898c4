#include "link/Checksum.h"

#include <gtest/gtest.h>

#include <QList>

#include <array>

#include <ostream>
#include <string>

namespace {

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), qsizetype(s.size()));
}

struct VerifyRow {
    const char* legend;
    std::string text;  // std::string so rows can hold NUL
    bool valid;
};

// Lets a failing row print its legend instead of raw bytes.
void PrintTo(const VerifyRow& r, std::ostream* os)
{
    *os << r.legend;
}

class VerifyChecksumTable : public ::testing::TestWithParam<VerifyRow> {};

TEST_P(VerifyChecksumTable, Row)
{
    const VerifyRow& r = GetParam();
    EXPECT_EQ(vt::VerifyChecksum(bytes(r.text)), r.valid) << r.legend;
}

using namespace std::string_literals;

const VerifyRow kVerifyRows[] = {
    // Worked values.
    { "node reading X", "X,1,2*03\r", true },
    { "first character is left out, so Y gives the same", "Y,1,2*03\r", true },
    { "full reading", "12,3,B,1013.25*45\r", true },
    { "single character body", "A*00\r", true },
    { "empty body: '*' first", "*2A\r", true },
    { "without trailing CR", "X,1,2*03", true },

    // Wrong or malformed check.
    { "empty text", "", false },
    { "no star", "X,1,2\r", false },
    { "no star, no CR", "X,1,2", false },
    { "wrong check", "X,1,2*04\r", false },
    { "digits swapped", "12,3,B,1013.25*54\r", false },
    { "single digit instead of 03", "X,1,2*3\r", false },
    { "nothing after star", "X,1,2*", false },
    { "one digit, end of text", "X,1,2*0", false },
    { "lower-case hex", "*2a\r", false },
    { "body changed after first character", "X,1,3*03\r", false },
    { "empty body with wrong check", "*00\r", false },
    { "a space is a character, not a check digit to skip", "X,1,2* 03\r", false },

    // Control characters play no part, wherever they sit.
    { "LF before the body", "\nX,1,2*03\r", true },
    { "LF inside the body", "X,1\n,2*03\r", true },
    { "TAB inside the body", "X,\t1,2*03\r", true },
    { "NUL inside the body", "X,1\0,2*03\r"s, true },
    { "NUL before the body", "\0X,1,2*03\r"s, true },
    { "LF right after star", "X,1,2*\n03\r", true },
    { "TAB between the digits", "X,1,2*0\t3\r", true },
    { "NUL between the digits", "X,1,2*0\x00" "3\r"s, true },
    { "control before a '*'-first body", "\n\t*2A\r", true },

    // Only the first sentence counts.
    { "garbage after CR", "X,1,2*03\rjunk", true },
    { "bad second sentence", "X,1,2*03\rX,1,2*99\r", true },
    { "check digit split across CR", "X,1,2*0\r3", false },
    { "star only after the CR", "X\r,1,2*03\r", false },
    { "first sentence has no star", "X,1,2\rX,1,2*03\r", false },
    { "good second sentence does not rescue the first", "X,1,2*99\rX,1,2*03\r", false },
    { "extra characters after the two digits", "X,1,2*03ZZ\r", true },
};

INSTANTIATE_TEST_SUITE_P(Checksum, VerifyChecksumTable, ::testing::ValuesIn(kVerifyRows));

TEST(Checksum, FirstCharacterDoesNotMatter)
{
    for (int c = 32; c < 256; ++c) {
        if (c == '*')
            continue;
        QByteArray text = "?,1,2*03\r";
        text[0] = char(c);
        EXPECT_TRUE(vt::VerifyChecksum(text)) << "first character " << c;
    }
}

TEST(Checksum, StripControlChars)
{
    struct Row {
        const char* legend;
        std::string in;
        std::string out;
    };
    std::string high;
    for (int c = 127; c < 256; ++c)
        high.push_back(char(c));
    const Row rows[] = {
        { "CR LF dropped", "A\r\n", "A" },
        { "all control", "\r\n\t\0\x1f"s, "" },
        { "empty", "", "" },
        { "mixed", "\nX,\t1\0,2*03\r"s, "X,1,2*03" },
        { "space is kept", " a b ", " a b " },
        { "bytes 127..255 kept", high, high },
    };
    for (const Row& r : rows)
        EXPECT_EQ(vt::StripControlChars(bytes(r.in)), bytes(r.out)) << r.legend;
}

TEST(Checksum, ChecksumTextMatchesVerify)
{
    struct Row {
        std::string body;
        const char* check;
    };
    const Row rows[] = {
        { "X,1,2", "03" },
        { "Y,1,2", "03" },
        { "12,3,B,1013.25", "45" },
        { "A", "00" },
        { "", "2A" },
        { "\n\t", "2A" },
        { "\nX,1\0,2"s, "03" },
        { "#,\xff\x80,9", nullptr },
        { "$CMD,SET,INTERVAL,60", nullptr },
    };
    for (const Row& r : rows) {
        const QByteArray body = bytes(r.body);
        const QByteArray check = vt::ChecksumText(body);
        ASSERT_EQ(check.size(), 2);
        if (r.check) {
            EXPECT_EQ(check, QByteArray(r.check)) << r.body;
        }
        EXPECT_TRUE(vt::VerifyChecksum(body + '*' + check + '\r')) << r.body;
        // Any other check must be refused.
        QByteArray wrong = check;
        wrong[1] = wrong[1] == '0' ? '1' : '0';
        EXPECT_FALSE(vt::VerifyChecksum(body + '*' + wrong + '\r')) << r.body;
    }
}

TEST(Checksum, SplitSentence)
{
    struct Row {
        const char* legend;
        std::string in;
        qsizetype cr;                // where the split ended; -1: no carriage return
        QList<QByteArray> fields;    // entries 0.. (the rest stay empty)
    };
    QByteArray many;
    QList<QByteArray> twenty;
    for (int i = 0; i < 23; ++i) {
        many += (i ? "," : "") + QByteArray::number(i);
        if (i < 20)
            twenty << QByteArray::number(i);
    }
    const Row rows[] = {
        { "fields up to the star", "X,1,2*03\r\n", 8, { "X", "1", "2" } },
        { "leading line feed skipped", "\nX,1*00\r", 7, { "X", "1" } },
        { "empty fields between commas", "A,,B*00\r", 7, { "A", "", "B" } },
        { "NUL dropped, tab kept", "A\0B,C\tD*00\r"s, 10, { "AB", "C\tD" } },
        { "commas after the star still count, nothing stored", "A*0,0\r", 5, { "A" } },
        { "no carriage return", "A,1*00", -1, { "A", "1" } },
        { "only the first line", "A\rB,C\r", 1, { "A" } },
        { "fields past the twentieth ignored", many.toStdString() + "*00\r", many.size() + 3, twenty },
    };
    for (const Row& r : rows) {
        std::array<QByteArray, 20> fields;
        EXPECT_EQ(vt::SplitSentence(bytes(r.in), fields.data(), int(fields.size())), r.cr) << r.legend;
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(fields[size_t(i)], i < r.fields.size() ? r.fields[i] : QByteArray()) << r.legend << ", field " << i;
    }
}

TEST(Checksum, SplitSentenceStopsWhenTheCallbackSaysSo)
{
    std::array<QByteArray, 20> fields;
    int calls = 0;
    const qsizetype cr = vt::SplitSentence("AB,C*00\r", fields.data(), 20, [&] { return ++calls < 3; });
    EXPECT_EQ(cr, -1);
    EXPECT_EQ(calls, 3) << "once per character before the carriage return, until it says stop";
    EXPECT_EQ(fields[0], "AB");
    EXPECT_TRUE(fields[1].isEmpty());

    calls = 0;
    EXPECT_EQ(vt::SplitSentence("AB,C*00\r", fields.data(), 20, [&] { return ++calls > 0; }), 7);
    EXPECT_EQ(calls, 7);
}

} // namespace
