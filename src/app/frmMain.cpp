#include "app/frmMain.h"

#include "app/StationIcon.h"
#include "commands/CommandText.h"
#include "commands/DatumButton.h"
#include "display/Chart.h"
#include "link/Clock.h"
#include "link/LogFile.h"
#include "link/SerialPort.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QCoreApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <algorithm>
#include <map>
#include <type_traits>
#include <variant>
#include <vector>
#include <cstdio>
#include <cstdlib>

namespace {

// The window is described in twips; 15 twips make one pixel at 96 dpi.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// 32 x 32, two colours: a barometer dial with its needle over a hill line.
QIcon stationIcon()
{
    QPixmap pix(32, 32);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    vt::DrawStationIcon(p, 32);
    p.end();
    return QIcon(pix);
}

// An option group without border or title: the label inside names it on screen, and
// a screen reader announces it as a group by its accessible name.
QGroupBox* borderlessGroup(QWidget* parent)
{
    auto* group = new QGroupBox(parent);
    group->setFlat(true);
    group->setStyleSheet(QStringLiteral("QGroupBox { border: 0; margin: 0; padding: 0; }"));
    return group;
}

// One control of the window description, in the order the window creates it (a later
// control lies over an earlier one). Geometry is in pixels inside the control's frame,
// or the window when it has none; twips() converts the description's own measures.
struct Control {
    std::variant<QPushButton* frmMain::*, QRadioButton* frmMain::*, QLabel* frmMain::*, QLineEdit* frmMain::*,
                 QGroupBox* frmMain::*, QComboBox* frmMain::*, vt::Chart* frmMain::*, QTimer* frmMain::*,
                 vt::SerialPort* frmMain::*> member;
    const char* name;                       // object name
    QRect geometry = {};
    QString caption = {};                   // a button's or option's caption, a label's text, a chart's title
    QGroupBox* frmMain::* frame = nullptr;
    QString accessibleName = {};
    QString description = {};               // accessible description
    bool enabled = true;
    bool checked = false;
    bool behind = false;                    // lies beneath the controls created before it
    int tab = 0;                            // place in the keyboard order from 1; 0: not in it
};

// The window description: every control, its name and where it sits.
std::vector<Control> windowDescription()
{
    using F = frmMain;
    return {
        { .member = &F::cmdResume, .name = "cmdResume", .geometry = twips(4440, 7800, 1335, 375),
          .caption = "Resume", .enabled = false, .tab = 15 },
        { .member = &F::fraUnits, .name = "fraUnits", .geometry = twips(1560, 7800, 2775, 375),
          .accessibleName = "Units" },
        { .member = &F::optUnitsMetric, .name = "optUnitsMetric", .geometry = twips(600, 0, 855, 255),
          .caption = "Metric", .frame = &F::fraUnits, .tab = 14 },
        { .member = &F::optUnitsImperial, .name = "optUnitsImperial", .geometry = twips(1560, 0, 975, 255),
          .caption = "Imperial", .frame = &F::fraUnits, .tab = 13 },
        { .member = &F::Label1, .name = "Label1", .geometry = twips(0, 0, 495, 255),
          .caption = "Units:", .frame = &F::fraUnits, .behind = true },
        { .member = &F::fraInverse, .name = "fraInverse", .geometry = twips(1440, 6960, 2775, 375),
          .accessibleName = "Inverse" },
        { .member = &F::optInverseEnabled, .name = "optInverseEnabled", .geometry = twips(1680, 120, 975, 255),
          .caption = "Enabled", .frame = &F::fraInverse, .enabled = false, .tab = 12 },
        { .member = &F::optInverseDisabled, .name = "optInverseDisabled", .geometry = twips(720, 120, 975, 255),
          .caption = "Disabled", .frame = &F::fraInverse, .enabled = false, .checked = true, .tab = 11 },
        { .member = &F::Label3, .name = "Label3", .geometry = twips(120, 120, 735, 255),
          .caption = "Inverse:", .frame = &F::fraInverse, .behind = true },
        { .member = &F::cboDatumNodeID, .name = "cboDatumNodeID", .geometry = twips(3240, 7395, 1095, 315),
          .accessibleName = "Datum NodeID", .enabled = false, .tab = 10 },
        { .member = &F::cmdReset, .name = "cmdReset", .geometry = twips(4440, 7320, 1335, 375),
          .caption = "Reset", .tab = 9 },
        { .member = &F::cmdNetID, .name = "cmdNetID", .geometry = twips(120, 6600, 1335, 375),
          .caption = F::kNoData, .description = "Sends the NetID entered beside it", .enabled = false, .tab = 8 },
        { .member = &F::txtNetID, .name = "txtNetID", .geometry = twips(1560, 6600, 975, 405),
          .accessibleName = "NetID", .enabled = false, .tab = 7 },
        { .member = &F::txtNodeID, .name = "txtNodeID", .geometry = twips(4800, 6600, 975, 405),
          .accessibleName = "NodeID", .enabled = false, .tab = 6 },
        { .member = &F::cmdNodeID, .name = "cmdNodeID", .geometry = twips(3360, 6600, 1335, 375),
          .caption = F::kNoData, .description = "Sends the NodeID entered beside it", .enabled = false, .tab = 5 },
        { .member = &F::cmdDatum, .name = "cmdDatum", .geometry = twips(120, 7320, 1335, 375),
          .caption = vt::datum::Caption(vt::datum::Mode::Ping),
          .description = "Pings a node, sets the datum or adjusts, as its caption says", .enabled = false, .tab = 4 },
        { .member = &F::txtDatum, .name = "txtDatum", .geometry = twips(1560, 7320, 975, 405),
          .accessibleName = "Datum value or NodeID to ping", .enabled = false, .tab = 3 },
        { .member = &F::Timer1, .name = "Timer1" },
        { .member = &F::MSComm1, .name = "MSComm1" },
        { .member = &F::mscElevation, .name = "mscElevation", .geometry = twips(120, 3360, 5655, 3150),
          .caption = "Absolute Elevation", .tab = 2 },
        { .member = &F::mscPressure, .name = "mscPressure", .geometry = twips(120, 120, 5655, 3135),
          .caption = "Absolute Pressure", .tab = 1 },
        // It shares the elevation chart's place but never changes: kept behind it and out
        // of the keyboard's way.
        { .member = &F::MSChart4, .name = "MSChart4", .geometry = twips(120, 3360, 5655, 3150),
          .caption = "Temperature (Rover)", .behind = true },
        { .member = &F::Label2, .name = "Label2", .geometry = twips(2640, 7440, 615, 255),
          .caption = "NodeID", .behind = true },
        // Shown only while something is wrong (see updateStatus). A screen reader reads
        // the name: it is the notice itself, kept equal to the text.
        { .member = &F::lblStatus, .name = "lblStatus", .geometry = QRect(8, 416, 377, 18),
          .description = "Station status" },
    };
}

// Makes a control of the description's kind; returns it when it is a widget.
QWidget* make(QPushButton*& button, const Control& c, QWidget* parent)
{
    button = new QPushButton(parent);
    frmMain::SetCaption(button, c.caption);
    button->setAutoDefault(false);
    return button;
}

QWidget* make(QRadioButton*& option, const Control& c, QWidget* parent)
{
    option = new QRadioButton(c.caption, parent);
    if (c.checked)
        option->setChecked(true);
    return option;
}

QWidget* make(QLabel*& label, const Control& c, QWidget* parent)
{
    label = new QLabel(c.caption, parent);
    label->setTextFormat(Qt::PlainText);
    // Some labels run a few pixels into the control beside them ("Inverse:" over its
    // first option's indicator); they lie beneath it and let clicks through to it.
    if (c.behind)
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

QWidget* make(QLineEdit*& box, const Control&, QWidget* parent)
{
    box = new QLineEdit(parent);
    return box;
}

QWidget* make(QGroupBox*& frame, const Control&, QWidget* parent)
{
    frame = borderlessGroup(parent);
    return frame;
}

QWidget* make(QComboBox*& list, const Control&, QWidget* parent)
{
    list = new QComboBox(parent);
    list->setEditable(false);
    return list;
}

QWidget* make(vt::Chart*& chart, const Control& c, QWidget* parent)
{
    chart = new vt::Chart(c.caption, parent);
    // A chart is read, not operated: it takes focus only by Tab, and only when the
    // keyboard order has it.
    chart->setFocusPolicy(c.tab ? Qt::TabFocus : Qt::NoFocus);
    return chart;
}

QWidget* make(QTimer*& timer, const Control&, QWidget* parent)
{
    timer = new QTimer(parent);
    return nullptr;
}

// What every widget of the description takes from its row.
void place(QWidget* widget, const Control& c)
{
    widget->setGeometry(c.geometry);
    if (!c.enabled)
        widget->setEnabled(false);
    if (!c.accessibleName.isEmpty())
        widget->setAccessibleName(c.accessibleName);
    if (!c.description.isEmpty())
        widget->setAccessibleDescription(c.description);
    if (c.behind)
        widget->lower();
}

} // namespace

frmMain::frmMain(QString programDir, std::shared_ptr<vt::Clock> clock, MessageFn message,
                 EndProgramFn endProgram, QWidget* parent)
    : QWidget(parent)
    , m_programDir(std::move(programDir))
    , m_clock(clock ? std::move(clock) : std::make_shared<vt::SystemClock>())
    , m_message(std::move(message))
    , m_endProgram(std::move(endProgram))
    , m_log(std::make_unique<vt::LogFile>(m_programDir + QStringLiteral("/log.txt")))
{
    if (!m_endProgram) {
        m_endProgram = [] {
            std::fflush(nullptr);
            std::_Exit(0);
        };
    }
    createControls();
    wireEvents();
}

frmMain::~frmMain() = default;

void frmMain::createControls()
{
    setWindowTitle(QStringLiteral("Ventholm v 1.5"));
    setWindowIcon(stationIcon());
    setFixedSize(5910 / 15, 8310 / 15);
    // The layout is measured for a narrow 8-point window font; a larger or wider desktop
    // default would clip the captions ("Inverse:" would run under its options). Arial's
    // metrics fit; the desktop's own family is the fallback. The family goes in the style
    // sheet because styled widgets do not inherit a family set with setFont.
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);
    setStyleSheet(QStringLiteral("* { font-family: \"Liberation Sans\", Arial; font-size: 8pt; }"
                                 " QRadioButton { spacing: 2px; }"));

    std::map<int, QWidget*> keyboardOrder;
    for (const Control& c : windowDescription()) {
        QWidget* parent = c.frame ? static_cast<QWidget*>(this->*c.frame) : this;
        QWidget* widget = std::visit([&](auto member) -> QWidget* {
            auto& slot = this->*member;
            QWidget* made = nullptr;
            if constexpr (std::is_same_v<std::remove_reference_t<decltype(slot)>, vt::SerialPort*>)
                slot = new vt::SerialPort(m_programDir, this);
            else
                made = make(slot, c, parent);
            // The description's names, for tools that look controls up by name.
            slot->setObjectName(QLatin1String(c.name));
            return made;
        }, c.member);
        if (widget)
            place(widget, c);
        if (widget && c.tab)
            keyboardOrder[c.tab] = widget;
    }
    setObjectName(QStringLiteral("frmMain"));
    // Labels and frames take no focus, so they have no place in the order.
    QWidget* previous = nullptr;
    for (const auto& [position, widget] : keyboardOrder) {
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }

    // What the description leaves to the code.
    Timer1->setInterval(kTickIntervalMs);
    // A coarse timer may fire late by a twentieth of its interval, and every such delay
    // puts a reading on the log later.
    Timer1->setTimerType(Qt::PreciseTimer);
    Label2->setBuddy(cboDatumNodeID);
    // The temperature chart is never redrawn: a kept picture of its background would
    // only take memory.
    MSChart4->setCacheMode(QGraphicsView::CacheNone);
    lblStatus->setStyleSheet(QStringLiteral("background:#b00020;color:white;padding-left:4px;"));
    lblStatus->setWordWrap(true);
    lblStatus->hide();

    m_secondWake = new QTimer(this);
    m_secondWake->setSingleShot(true);
    m_secondWake->setTimerType(Qt::PreciseTimer);
    m_logTimer = new QTimer(this);
    m_logTimer->setObjectName(QStringLiteral("logTimer"));
    m_logTimer->setSingleShot(true);
}

void frmMain::wireEvents()
{
    // Form_Load starts Timer1 once start-up has succeeded.
    connect(Timer1, &QTimer::timeout, this, &frmMain::AcquisitionTick);
    connect(cmdNetID, &QPushButton::clicked, this, &frmMain::cmdNetID_Click);
    connect(cmdNodeID, &QPushButton::clicked, this, &frmMain::cmdNodeID_Click);
    connect(cmdReset, &QPushButton::clicked, this, &frmMain::cmdReset_Click);
    connect(cmdResume, &QPushButton::clicked, this, &frmMain::cmdResume_Click);
    connect(cmdDatum, &QPushButton::clicked, this, &frmMain::cmdDatum_Click);
    // An option's handler runs when it becomes selected, not when it is cleared.
    const auto onSelected = [this](QRadioButton* o, void (frmMain::*handler)()) {
        connect(o, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on)
                (this->*handler)();
        });
    };
    onSelected(optUnitsMetric, &frmMain::optUnitsMetric_Click);
    onSelected(optUnitsImperial, &frmMain::optUnitsImperial_Click);
    onSelected(optInverseDisabled, &frmMain::optInverseDisabled_Click);
    onSelected(optInverseEnabled, &frmMain::optInverseEnabled_Click);
    // Only the operator's choice counts: the tick's own changes of the list's
    // selection must not make a node the datum node.
    connect(cboDatumNodeID, &QComboBox::activated, this, &frmMain::cboDatumNodeID_Click);

    connect(m_secondWake, &QTimer::timeout, this, [this] { m_clock->sleptToSecondChange(m_wakeChanges); });
    connect(m_logTimer, &QTimer::timeout, this, [this] { FlushLog(); });
    // Taken the moment they arrive: that moment is their stamp in the log.
    connect(MSComm1, &vt::SerialPort::dataArrived, this, &frmMain::OnArrival);
    connect(MSComm1, &vt::SerialPort::noticeChanged, this, [this] { updateStatus(); });
}

bool frmMain::Yield()
{
    const quint64 resets = m_displayResets;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    runYieldHook();
    return m_displayResets != resets;
}

void frmMain::runYieldHook()
{
    ++m_yields;
    if (YieldHook)
        YieldHook(m_yields);
}

// Sleeps until something happens: a character arrives, the operator acts, or the
// clock's seconds can have changed as often as the receiver still waits for. The
// receiver's poll thus costs nothing while idle, and a silent line wakes it once.
void frmMain::WaitForActivity(int secondChanges)
{
    runYieldHook();
    if (!m_secondWake->isActive()) {
        m_wakeChanges = secondChanges;
        m_secondWake->start(std::max(1, m_clock->msToSecondChange(secondChanges) + 1));
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void frmMain::SetCaption(QPushButton* button, const QString& caption)
{
    button->setProperty("caption", caption);
    QString shown = caption;
    shown.replace(QLatin1Char('&'), QLatin1String("&&"));
    button->setText(shown);
}

QString frmMain::Caption(const QPushButton* button)
{
    return button->property("caption").toString();
}

void frmMain::ShowMessage(const QString& text)
{
    if (m_message) {
        m_message(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Ventholm"), text, QMessageBox::Ok,
                    isVisible() ? this : nullptr);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    event->accept();
    Shutdown();
}

void frmMain::Shutdown()
{
    // Counts as a reset for whatever yield this interrupts: nothing of it may go on.
    ++m_displayResets;
    LogWaitingLines();
    MSComm1->setPortOpen(false);
    FlushLog(true);
    const auto& waiting = m_log->waitingLines();
    if (!waiting.empty()) {
        // The log's own line start is its stamp.
        const auto stampOf = [](const QByteArray& line) { return line.left(line.indexOf(',')); };
        std::fprintf(stderr, "ventholm: %zu received lines could not be written to log.txt (%s): from %s to %s\n",
                     waiting.size(), qPrintable(LogFailure), stampOf(waiting.front()).constData(),
                     stampOf(waiting.back()).constData());
    }
    // Ends at once, also inside a yield: the interrupted tick must not go on.
    m_endProgram();
}

void frmMain::setLogFailure(const QString& reason)
{
    if (reason == LogFailure)
        return;
    if (!reason.isEmpty() && LogFailure.isEmpty())
        std::fprintf(stderr, "ventholm: %s\n", qPrintable(reason));
    else if (reason.isEmpty())
        std::fprintf(stderr, "ventholm: logging to log.txt works again\n");
    LogFailure = reason;
    updateStatus();
}

void frmMain::updateStatus()
{
    QStringList problems;
    if (const auto waiting = m_log->waitingLines().size(); !LogFailure.isEmpty())
        problems << (waiting > 0 ? QStringLiteral("%1; %2 lines wait to be written").arg(LogFailure).arg(waiting)
                                 : LogFailure);
    if (m_log->givenUp() > 0)
        problems << QStringLiteral("Log unwritable too long: %1 waiting lines given up").arg(m_log->givenUp());
    if (LinesGivenUp > 0)
        problems << QStringLiteral("Fell behind the line: %1 received lines not charted").arg(LinesGivenUp);
    if (!MSComm1->lineFailure().isEmpty())
        problems << MSComm1->lineFailure();
    if (!MSComm1->unsent().isEmpty()) {
        QStringList commands;
        for (const QByteArray& sentence : MSComm1->unsent())
            commands << vt::cmd::Describe(sentence);
        problems << QStringLiteral("Not sent: %1").arg(commands.join(QLatin1String(", ")));
    }
    const QString text = problems.join(QLatin1String(". "));
    lblStatus->setText(text);
    lblStatus->setAccessibleName(text);
    lblStatus->setVisible(!problems.isEmpty());
    if (!problems.isEmpty()) {
        // Grows upwards over the chart's foot so a long notice is read whole.
        const int width = lblStatus->width();
        const int height = std::max(18, lblStatus->heightForWidth(width));
        lblStatus->setGeometry(8, 434 - height, width, height);
        lblStatus->raise();
    }
}
