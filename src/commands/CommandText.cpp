#include "commands/CommandText.h"

#include <initializer_list>

namespace vt::cmd {

namespace {
// Arguments go out exactly as typed; the node does its own checking.
QByteArray sentence(char number, std::initializer_list<QString> args)
{
    QByteArray out(1, number);
    for (const QString& a : args) {
        out.append(',');
        out.append(a.toLatin1());
    }
    out.append('!');
    return out;
}
} // namespace

QByteArray SetNetId(const QString& n) { return sentence('1', {n}); }
QByteArray SetNodeId(const QString& n) { return sentence('2', {n}); }
QByteArray Units(bool imperial) { return imperial ? QByteArrayLiteral("3,1!") : QByteArrayLiteral("3,0!"); }
QByteArray SetDatum(const QString& value, const QString& node) { return sentence('4', {value, node}); }
QByteArray Adjust() { return sentence('5', {}); }
QByteArray Reset() { return sentence('6', {}); }
QByteArray Resume() { return sentence('7', {}); }
QByteArray Inverse(bool enabled) { return enabled ? QByteArrayLiteral("8,1!") : QByteArrayLiteral("8,0!"); }
QByteArray Ping(const QString& node) { return sentence('9', {node}); }

QString Describe(const QByteArray& sentence)
{
    static const char* const names[] = { nullptr, "NetID", "NodeID", "units", "datum", "adjust",
                                         "reset", "resume", "inverse", "ping" };
    const QString text = QString::fromLatin1(sentence);
    const int number = sentence.isEmpty() ? 0 : sentence.at(0) - '0';
    if (number >= 1 && number <= 9 && sentence.size() >= 2 && (sentence.at(1) == ',' || sentence.at(1) == '!'))
        return QStringLiteral("%1 (%2)").arg(QLatin1String(names[number]), text);
    return text;
}

} // namespace vt::cmd
