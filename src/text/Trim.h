#pragma once
// Leading and trailing spaces removed, and only spaces: a tab or a line feed is part of
// an entry or a sentence as typed or received.
#include <QByteArrayView>
#include <QStringView>

namespace vt {

template <typename View>
View TrimSpaces(View text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

inline QStringView TrimSpaces(const QString& text) { return TrimSpaces(QStringView(text)); }
inline QByteArrayView TrimSpaces(const QByteArray& text) { return TrimSpaces(QByteArrayView(text)); }

} // namespace vt
