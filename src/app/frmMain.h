#pragma once
// The station's one window. It owns every control and all state; the handlers and
// procedures are its members, defined in the folder of their subsystem.
#include "link/Clock.h"
#include "record/LogLine.h"

#include <QByteArray>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace vt {
class Chart;
class Clock;
class LogFile;
class SerialPort;
}

class frmMain : public QWidget {
    Q_OBJECT
public:
    // Shows a fixed text to the operator and returns when it was acknowledged.
    using MessageFn = std::function<void(const QString&)>;
    // Ends the program at once; the default never returns.
    using EndProgramFn = std::function<void()>;

    explicit frmMain(QString programDir, std::shared_ptr<vt::Clock> clock = {},
                     MessageFn message = {}, EndProgramFn endProgram = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: reads settings.txt, opens the port, sets the start state.
    // Returns the error that stopped it, or an empty text.
    QString Form_Load();

    // Controls; the window description (frmMain.cpp) creates them, names them and sets
    // their keyboard order.
    QPushButton* cmdResume = nullptr;
    QGroupBox* fraUnits = nullptr;
    QRadioButton* optUnitsMetric = nullptr;
    QRadioButton* optUnitsImperial = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* fraInverse = nullptr;
    QRadioButton* optInverseEnabled = nullptr;
    QRadioButton* optInverseDisabled = nullptr;
    QLabel* Label3 = nullptr;
    QComboBox* cboDatumNodeID = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* cmdNetID = nullptr;
    QLineEdit* txtNetID = nullptr;
    QLineEdit* txtNodeID = nullptr;
    QPushButton* cmdNodeID = nullptr;
    QPushButton* cmdDatum = nullptr;
    QLineEdit* txtDatum = nullptr;
    QTimer* Timer1 = nullptr;
    vt::SerialPort* MSComm1 = nullptr;
    vt::Chart* mscElevation = nullptr;
    vt::Chart* mscPressure = nullptr;
    vt::Chart* MSChart4 = nullptr;
    QLabel* Label2 = nullptr;
    // Shows a failing log or a lost serial line without stopping acquisition.
    QLabel* lblStatus = nullptr;

    // Window fields.
    QByteArray ReceiveBuffer;
    std::array<QByteArray, 20> SentenceFields;
    QString DatumNodeId;
    qint32 PingIndex = 0;
    qint32 PingPhase = 0;
    bool SuppressOptionCommands = false;
    std::array<double, 11> PressureHistory {};
    std::array<double, 11> ElevationHistory {};
    qint32 PortNumber = 0;
    // Why log.txt could not be written; empty while logging works.
    QString LogFailure;
    // Received lines given up at the backlog bound since start; each one is a reading
    // the log has but the charts never showed.
    qint64 LinesGivenUp = 0;

    // The longest line kept without a carriage return; a longer one is dropped.
    static constexpr qsizetype kMaxLine = vt::kMaxSentence;
    // The most received text kept waiting; a node sending faster than the station reads
    // gives up its oldest lines here instead of growing memory and lag without end.
    static constexpr qsizetype kMaxBacklog = 16384;
    // DatumNodeId while no datum node is chosen.
    static constexpr QLatin1StringView kNoDatumNode { "-1" };
    // The node buttons' caption while no sentence comes.
    static constexpr QLatin1StringView kNoData { "No Data" };
    // The tick's pace while nothing waits on the line.
    static constexpr int kTickIntervalMs = 1000;
    // The node list stops growing here, so a chattering line cannot fill memory.
    static constexpr int kMaxNodes = 1000;

    // Link.
    void ReadSentence(int timeoutSeconds, quint8& gotSentence);
    // Logs the sentence stamped with the moment it arrived; without one, with this moment.
    void LogSentence(const QByteArray& text, const std::optional<vt::LogStamp>& arrived = std::nullopt);
    // Writes the lines that wait for log.txt and syncs it when that is due (at once with
    // force); the log's own timer calls it, and the close.
    void FlushLog(bool force = false);
    vt::LogFile& logFile() { return *m_log; }
    // Characters received from the line since start (tests wait on it).
    qint64 receivedTotal() const { return m_received; }
    // Re-entrancy. These members yield to pending window events, so any handler (a
    // click, a close, a termination signal) can run in the middle of them:
    //   ReadSentence     while it waits for a carriage return, and after each character
    //                    of the sentence it splits;
    //   DispatchRecord   for "D", after showing the node's inverse mode;
    //   PlotMeasurement  after each history step and each point it charts (UpdateSeries),
    //                    and after bringing the units options into line;
    //   ShowMessage      the message box's own event loop, until the operator clicks OK;
    // and so do their callers: AcquisitionTick, and the Click handlers that can show the
    // message box. A handler running there may change any control or field, write
    // commands, and reset the displays (ClearDisplays empties the histories, the charts
    // and ReceiveBuffer); it never starts a second tick (the tick stops Timer1 first), and
    // a close ends the program there and then. The code after a yield takes the window
    // as it finds it; Yield's result says whether the displays were reset meanwhile.
    //
    // Runs the pending window events, then returns; true when the displays were reset
    // while they ran.
    bool Yield();
    // Runs at every yield, with the number of yields so far: in Yield after the pending
    // events, and in the receiver's wait before it sleeps. Lets a test act at an exact
    // point of a tick ("on the third yield, click Reset") without timers.
    std::function<void(int)> YieldHook;
    // A whole line in ReceiveBuffer, or characters in the port: the next tick need not wait.
    bool InputWaiting();
    // Takes in and logs what the line still holds, without yielding.
    void LogWaitingLines();

    // Closing the window and the termination signals end here: what was received is
    // logged, the port closed, and the program ends at once with status 0.
    void Shutdown();

    // Acquisition.
    void AcquisitionTick();
    void DispatchRecord();

    // Display.
    void PlotMeasurement(QString nodeId, QString recordType, QString unitsFlag,
                         QString pressureText, QString elevationText);
    void ClearDisplays();

    // Commands.
    void ResetDatumControls();
    void cmdNetID_Click();
    void cmdNodeID_Click();
    void cmdReset_Click();
    void cmdResume_Click();
    void optUnitsMetric_Click();
    void optUnitsImperial_Click();
    void optInverseDisabled_Click();
    void optInverseEnabled_Click();
    void cmdDatum_Click();
    void cboDatumNodeID_Click();

    // A button's caption as set, shown literally ('&' is no mnemonic).
    static void SetCaption(QPushButton* button, const QString& caption);
    static QString Caption(const QPushButton* button);

    // The message box: fixed text, one OK button, no icon, titled "Ventholm".
    void ShowMessage(const QString& text);

    // Shows the node's state on an option button without its handler sending it back:
    // SuppressOptionCommands is set for as long as the guard lives, then cleared.
    class QuietOptions {
    public:
        explicit QuietOptions(frmMain& w) : m_w(w) { m_w.SuppressOptionCommands = true; }
        ~QuietOptions() { m_w.SuppressOptionCommands = false; }
        QuietOptions(const QuietOptions&) = delete;
        QuietOptions& operator=(const QuietOptions&) = delete;

    private:
        frmMain& m_w;
    };

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void wireEvents();
    void WaitForActivity(int secondChanges);
    void runYieldHook();
    // Moves what the port holds into ReceiveBuffer, keeping it within kMaxBacklog, and
    // logs the sentences it completes.
    void TakeInput();
    // Characters came: they are taken at once, and a tick waiting out its interval starts now.
    void OnArrival();
    void LogArrivedLines(const QByteArray& got);
    void StepPingRotation();
    void ListNode(const QString& node);
    std::optional<double> UpdateSeries(vt::Chart* chart, std::array<double, 11>& history, const QString& reading);
    void EntryCommand(QLineEdit* box, QByteArray (*sentence)(const QString&), const QString& rejected);
    void OptionCommand(const QByteArray& sentence);
    void PingAction();
    void DatumAction();
    void AdjustAction();
    void setLogFailure(const QString& reason);
    void noteLogResult(const QString& reason);
    void armLogTimer();
    void updateStatus();

    QString m_programDir;
    std::shared_ptr<vt::Clock> m_clock;
    MessageFn m_message;
    EndProgramFn m_endProgram;
    QTimer* m_secondWake = nullptr;
    // The changes of the seconds the running m_secondWake waits for.
    int m_wakeChanges = 1;
    std::unique_ptr<vt::LogFile> m_log;
    // Fires when the log has a sync or a retry due.
    QTimer* m_logTimer = nullptr;
    // The line being received, as the log sees it: a display reset does not touch it.
    QByteArray m_logLine;
    // The line being received is past kMaxLine: not a sentence, dropped up to its end.
    bool m_logLineTooLong = false;
    qint64 m_received = 0;
    // Counts backlog cuts: a sentence being split when one came went with it.
    quint64 m_backlogCuts = 0;
    // A display reset left a partly received line: its rest is no new sentence.
    bool m_dropRemainder = false;
    // Counts display resets, and the close. A chart update that yields can be overtaken by the
    // operator's reset; finishing it then would chart the rest of a history that is
    // gone (points the node never sent), so it stops and charting starts over.
    quint64 m_displayResets = 0;
    int m_yields = 0;
    // Lines are being given up at the backlog bound; ends when the station caught up.
    bool m_fallingBehind = false;
};
