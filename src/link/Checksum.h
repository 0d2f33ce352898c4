#pragma once
// Sentence framing: body, '*', two upper-case hex digits, carriage return.
#include <QByteArray>
#include <QByteArrayView>

#include <functional>

namespace vt {

// Returns the characters of text whose code is 32 or more, in order.
QByteArray StripControlChars(QByteArrayView text);

// True when the first sentence of text carries a good check: the XOR of everything
// between its first character and its first '*' (control characters left out),
// written as two upper-case hex digits, follows the '*'.
bool VerifyChecksum(QByteArrayView text);

// The check text that VerifyChecksum expects for a body (the part before '*').
QByteArray ChecksumText(QByteArrayView body);

// XOR of the characters of code 32 or more in text after its first such character:
// the check value of a body. An empty body checks as '*', which then comes first.
quint8 CheckValue(QByteArrayView text);

// Splits the first sentence of text into fields, up to its first carriage return:
// ',' starts the next field, line feeds are skipped, NUL is neither stored nor a
// separator, nothing from the first '*' on is stored, and fields past the last
// entry are ignored. afterEach, when given, runs after each character before the
// carriage return; returning false stops the split there (the text may be gone).
// Returns the carriage return's position, or -1 when there is none or it stopped.
qsizetype SplitSentence(QByteArrayView text, QByteArray* fields, int fieldCount,
                        const std::function<bool()>& afterEach = {});

} // namespace vt
