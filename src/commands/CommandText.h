#pragma once
// The command sentences written to the node: number, arguments after ',', '!' last,
// no line end and no check value.
#include <QByteArray>
#include <QString>

namespace vt::cmd {

QByteArray SetNetId(const QString& n);      // 1,n!
QByteArray SetNodeId(const QString& n);     // 2,n!
QByteArray Units(bool imperial);            // 3,0! or 3,1!
QByteArray SetDatum(const QString& value, const QString& node); // 4,d,n!
QByteArray Adjust();                        // 5!
QByteArray Reset();                         // 6!
QByteArray Resume();                        // 7!
QByteArray Inverse(bool enabled);           // 8,0! or 8,1!
QByteArray Ping(const QString& node);       // 9,n!

// A sentence as the operator knows it: "reset (6!)"; one not of a command's form as it is.
QString Describe(const QByteArray& sentence);

} // namespace vt::cmd
