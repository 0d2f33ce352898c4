#pragma once
// The simulated node network behind the serial cable: one node on the cable that
// relays the others, plausible barometric readings, and the command set the
// station writes back. Pure and deterministic for a seed, so tests drive it
// directly with simulated times.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <deque>
#include <random>

namespace nodesim {

enum class Role { Rover, Base };

// Body framed for the line: body '*' check digits CR LF.
QByteArray Frame(QByteArrayView body);

// Barometric formula and its inverse (metres <-> millibar, standard atmosphere).
double PressureAt(double elevationM);
double ElevationAt(double pressureMb);

class NodeNetwork {
public:
    NodeNetwork(Role role, bool imperial, quint32 seed);

    // After a datum is set, the node starts adjusting by itself this many seconds later
    // (as the node's own operator would), once per datum; 0 never. The station offers
    // its Adjust command only while a node reports an adjustment.
    void setAutoAdjust(double seconds) { m_autoAdjust = seconds; }

    // Applies one command ("9,5!" or "9,5"); false when it is unknown or malformed.
    bool applyCommand(QByteArrayView command);

    // The body of the sentence sent in the slot that starts at simulated time t
    // (seconds since start; must not go backwards).
    QByteArray nextBody(double t);

    static constexpr int kNetId = 12;
    static constexpr int kCableNodeId = 3;
    static constexpr double kAnnouncePeriod = 30.0;
    // The first announcements come a few seconds in, so a new station fills its node
    // list (and starts pinging) without waiting a whole period.
    static constexpr double kFirstAnnounce = 5.0;

private:
    struct Node {
        int id;
        double elevationM;
    };
    enum class Mode { Plain, Datum, Adjust };
    struct Reading {
        double pressureMb;
        double elevationM;
    };

    // Index into m_nodes for node id n (the cable node under its current id), or -1.
    int nodeIndex(int id) const;
    Reading read(int index, double t);
    QByteArray plainBody(int net, int node, char letter, const Reading& r) const;
    QByteArray datumBody(double t);
    QByteArray pressureText(double mb) const;
    QByteArray elevationText(double m) const;

    std::mt19937 m_rng;
    std::normal_distribution<double> m_noise { 0.0, 0.03 };
    QList<Node> m_nodes;  // [0] is the cable node
    Role m_role;
    bool m_imperial;
    int m_netId = kNetId;
    bool m_inverse = false;
    Mode m_mode = Mode::Plain;
    int m_datumNode = -1;  // index into m_nodes
    double m_datumValue = 0.0;
    double m_autoAdjust = 0.0;
    double m_datumSince = -1.0;  // time of the first slot under the current datum; -1 not yet
    bool m_autoAdjusted = false;
    std::deque<int> m_pings;          // node indexes asked for by the station
    std::deque<int> m_announcements;  // node indexes announcing themselves
    long m_announceBlock = -1;        // last 30 s period whose announcements were queued
};

// Cuts the station's byte stream into command sentences at '!'.
class CommandSplitter {
public:
    // Complete sentences found so far, each with its '!' and without control characters.
    QList<QByteArray> feed(QByteArrayView bytes);

private:
    QByteArray m_pending;
};

} // namespace nodesim
