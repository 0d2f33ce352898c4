#pragma once
// Which field of a sentence holds what, per record letter, and how the station and its
// tools name a record's readings.
#include <QString>

#include <string_view>

namespace vt {

// Field 0 is the network id, field 1 the node id and field 2 the record letter.
struct RecordLayout {
    char letter;
    int units;           // 0 metric, 1 imperial
    int pressure;
    int elevation;
    int inverse = -1;    // D: below zero while the node's inverse mode is on
    int datum = -1;      // D: the datum the node holds
    int adjustment = -1; // A: the adjustment under way
};

// The record letters in the order the tools show them: base, rover, network, datum,
// adjustment.
inline constexpr std::string_view kRecordLetters = "BRTDA";

// The layout of a record letter, or nullptr for a letter no record has.
const RecordLayout* RecordLayoutOf(char letter);

enum class Quantity { Pressure, Elevation };

// "mb", "inHg", "m" or "ft".
QString UnitName(Quantity quantity, bool imperial);

// A chart's title: "Absolute Pressure (Rover 3, <detail>)", "Absolute Elevation (Base 3,
// <detail>)", "Differential Pressure (node 5, <detail>)", or without the node where
// node is empty: "Differential Pressure (<detail>)". Letters other than R, D and A are
// titled as a base.
QString RecordTitle(char letter, Quantity quantity, const QString& node, const QString& detail);

} // namespace vt
