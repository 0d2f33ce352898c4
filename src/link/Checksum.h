#pragma once
// Sentence framing: body, '*', two upper-case hex digits, carriage return.
#include <QByteArray>
#include <QByteArrayView>

namespace vt {

// Returns the characters of text whose code is 32 or more, in order.
QByteArray StripControlChars(QByteArrayView text);

// True when the first sentence of text carries a good check: the XOR of everything
// between its first character and its first '*' (control characters left out),
// written as two upper-case hex digits, follows the '*'.
bool VerifyChecksum(QByteArrayView text);

// The check text that VerifyChecksum expects for a body (the part before '*').
QByteArray ChecksumText(QByteArrayView body);

} // namespace vt
