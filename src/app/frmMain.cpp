#include "app/frmMain.h"

#include "app/StationIcon.h"
#include "commands/DatumButton.h"
#include "display/Chart.h"
#include "link/Clock.h"
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

// A command sentence as the operator knows it: "reset (6!)".
QString describeCommand(const QByteArray& sentence)
{
    static const char* const names[] = { nullptr, "NetID", "NodeID", "units", "datum", "adjust",
                                         "reset", "resume", "inverse", "ping" };
    const QString text = QString::fromLatin1(sentence);
    const int number = sentence.isEmpty() ? 0 : sentence.at(0) - '0';
    if (number >= 1 && number <= 9 && sentence.size() >= 2 && (sentence.at(1) == ',' || sentence.at(1) == '!'))
        return QStringLiteral("%1 (%2)").arg(QLatin1String(names[number]), text);
    return text;
}

} // namespace

frmMain::frmMain(QString programDir, std::shared_ptr<vt::Clock> clock, MessageFn message,
                 EndProgramFn endProgram, QWidget* parent)
    : QWidget(parent)
    , m_programDir(std::move(programDir))
    , m_clock(clock ? std::move(clock) : std::make_shared<vt::SystemClock>())
    , m_message(std::move(message))
    , m_endProgram(std::move(endProgram))
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

    auto button = [this](const QString& caption, QWidget* container, QRect geometry) {
        auto* b = new QPushButton(container ? container : this);
        SetCaption(b, caption);
        b->setGeometry(geometry);
        b->setAutoDefault(false);
        return b;
    };
    auto option = [](const QString& text, QWidget* frame, QRect geometry) {
        auto* o = new QRadioButton(text, frame);
        o->setGeometry(geometry);
        return o;
    };
    auto label = [](const QString& text, QWidget* container, QRect geometry) {
        auto* l = new QLabel(text, container);
        l->setGeometry(geometry);
        l->setTextFormat(Qt::PlainText);
        // Some labels run a few pixels into the control beside them ("Inverse:" over its
        // first option's indicator); they lie beneath it and let clicks through to it.
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        l->lower();
        return l;
    };
    auto box = [this](QRect geometry, const QString& name) {
        auto* t = new QLineEdit(this);
        t->setGeometry(geometry);
        t->setAccessibleName(name);
        return t;
    };

    cmdResume = button(QStringLiteral("Resume"), nullptr, twips(4440, 7800, 1335, 375));
    cmdResume->setEnabled(false);

    fraUnits = borderlessGroup(this);
    fraUnits->setGeometry(twips(1560, 7800, 2775, 375));
    fraUnits->setAccessibleName(QStringLiteral("Units"));
    optUnitsMetric = option(QStringLiteral("Metric"), fraUnits, twips(600, 0, 855, 255));
    optUnitsImperial = option(QStringLiteral("Imperial"), fraUnits, twips(1560, 0, 975, 255));
    Label1 = label(QStringLiteral("Units:"), fraUnits, twips(0, 0, 495, 255));

    fraInverse = borderlessGroup(this);
    fraInverse->setGeometry(twips(1440, 6960, 2775, 375));
    fraInverse->setAccessibleName(QStringLiteral("Inverse"));
    optInverseEnabled = option(QStringLiteral("Enabled"), fraInverse, twips(1680, 120, 975, 255));
    optInverseEnabled->setEnabled(false);
    optInverseDisabled = option(QStringLiteral("Disabled"), fraInverse, twips(720, 120, 975, 255));
    optInverseDisabled->setEnabled(false);
    optInverseDisabled->setChecked(true);
    Label3 = label(QStringLiteral("Inverse:"), fraInverse, twips(120, 120, 735, 255));

    cboDatumNodeID = new QComboBox(this);
    cboDatumNodeID->setGeometry(twips(3240, 7395, 1095, 315));
    cboDatumNodeID->setEditable(false);
    cboDatumNodeID->setEnabled(false);
    cboDatumNodeID->setAccessibleName(QStringLiteral("Datum NodeID"));

    cmdReset = button(QStringLiteral("Reset"), nullptr, twips(4440, 7320, 1335, 375));
    cmdNetID = button(kNoData, nullptr, twips(120, 6600, 1335, 375));
    cmdNetID->setEnabled(false);
    cmdNetID->setAccessibleDescription(QStringLiteral("Sends the NetID entered beside it"));
    txtNetID = box(twips(1560, 6600, 975, 405), QStringLiteral("NetID"));
    txtNetID->setEnabled(false);
    txtNodeID = box(twips(4800, 6600, 975, 405), QStringLiteral("NodeID"));
    txtNodeID->setEnabled(false);
    cmdNodeID = button(kNoData, nullptr, twips(3360, 6600, 1335, 375));
    cmdNodeID->setEnabled(false);
    cmdNodeID->setAccessibleDescription(QStringLiteral("Sends the NodeID entered beside it"));
    cmdDatum = button(vt::datum::Caption(vt::datum::Mode::Ping), nullptr, twips(120, 7320, 1335, 375));
    cmdDatum->setEnabled(false);
    cmdDatum->setAccessibleDescription(QStringLiteral("Pings a node, sets the datum or adjusts, as its caption says"));
    txtDatum = box(twips(1560, 7320, 975, 405), QStringLiteral("Datum value or NodeID to ping"));
    txtDatum->setEnabled(false);

    Timer1 = new QTimer(this);
    Timer1->setInterval(kTickIntervalMs);
    // A coarse timer may fire late by a twentieth of its interval, and every such delay
    // puts a reading on the log later.
    Timer1->setTimerType(Qt::PreciseTimer);
    MSComm1 = new vt::SerialPort(m_programDir, this);

    mscElevation = new vt::Chart(QStringLiteral("Absolute Elevation"), this);
    mscElevation->setGeometry(twips(120, 3360, 5655, 3150));
    mscPressure = new vt::Chart(QStringLiteral("Absolute Pressure"), this);
    mscPressure->setGeometry(twips(120, 120, 5655, 3135));
    MSChart4 = new vt::Chart(QStringLiteral("Temperature (Rover)"), this);
    MSChart4->setGeometry(twips(120, 3360, 5655, 3150));
    // It shares the elevation chart's place but never changes: keep it behind and out of
    // the keyboard's way.
    MSChart4->lower();
    MSChart4->setFocusPolicy(Qt::NoFocus);
    // Never redrawn: a kept picture of its background would only take memory.
    MSChart4->setCacheMode(QGraphicsView::CacheNone);
    mscPressure->setFocusPolicy(Qt::TabFocus);
    mscElevation->setFocusPolicy(Qt::TabFocus);

    Label2 = label(QStringLiteral("NodeID"), this, twips(2640, 7440, 615, 255));
    Label2->setBuddy(cboDatumNodeID);

    lblStatus = new QLabel(this);
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setGeometry(8, 416, 377, 18);
    lblStatus->setStyleSheet(QStringLiteral("background:#b00020;color:white;padding-left:4px;"));
    lblStatus->setWordWrap(true);
    // A screen reader reads the name: it is the notice itself, kept equal to the text.
    lblStatus->setAccessibleDescription(QStringLiteral("Station status"));
    lblStatus->hide();

    // The description's names, for tools that look controls up by name.
    const std::initializer_list<std::pair<QObject*, const char*>> names {
        { cmdResume, "cmdResume" }, { fraUnits, "fraUnits" }, { optUnitsMetric, "optUnitsMetric" },
        { optUnitsImperial, "optUnitsImperial" }, { Label1, "Label1" }, { fraInverse, "fraInverse" },
        { optInverseEnabled, "optInverseEnabled" }, { optInverseDisabled, "optInverseDisabled" },
        { Label3, "Label3" }, { cboDatumNodeID, "cboDatumNodeID" }, { cmdReset, "cmdReset" },
        { cmdNetID, "cmdNetID" }, { txtNetID, "txtNetID" }, { txtNodeID, "txtNodeID" },
        { cmdNodeID, "cmdNodeID" }, { cmdDatum, "cmdDatum" }, { txtDatum, "txtDatum" }, { Timer1, "Timer1" },
        { mscElevation, "mscElevation" }, { mscPressure, "mscPressure" }, { MSChart4, "MSChart4" },
        { Label2, "Label2" }, { lblStatus, "lblStatus" }, { MSComm1, "MSComm1" }
    };
    for (const auto& [object, name] : names)
        object->setObjectName(QLatin1String(name));
    setObjectName(QStringLiteral("frmMain"));

    // Keyboard order of the window description; labels and frames take no focus.
    const QList<QWidget*> order { mscPressure, mscElevation, txtDatum, cmdDatum, cmdNodeID,
                                  txtNodeID, txtNetID, cmdNetID, cmdReset, cboDatumNodeID,
                                  optInverseDisabled, optInverseEnabled, optUnitsImperial,
                                  optUnitsMetric, cmdResume };
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    m_secondWake = new QTimer(this);
    m_secondWake->setSingleShot(true);
    m_secondWake->setTimerType(Qt::PreciseTimer);
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

    connect(m_secondWake, &QTimer::timeout, this, [this] { m_clock->sleptToNextSecond(); });
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
// clock's second can have changed. The receiver's poll thus costs nothing while idle.
void frmMain::WaitForActivity()
{
    runYieldHook();
    if (!m_secondWake->isActive())
        m_secondWake->start(std::max(1, m_clock->msToNextSecond() + 1));
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
    if (!LogFailure.isEmpty())
        problems << LogFailure;
    if (LinesGivenUp > 0)
        problems << QStringLiteral("Fell behind the line: %1 received lines given up").arg(LinesGivenUp);
    if (!MSComm1->lineFailure().isEmpty())
        problems << MSComm1->lineFailure();
    if (!MSComm1->unsent().isEmpty()) {
        QStringList commands;
        for (const QByteArray& sentence : MSComm1->unsent())
            commands << describeCommand(sentence);
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
