#include "app/TermSignals.h"
#include "app/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ventholm"));
    // settings.txt and log.txt live beside the executable.
    frmMain window(QCoreApplication::applicationDirPath());
    const QString error = window.Form_Load();
    if (!error.isEmpty()) {
        window.ShowMessage(error);
        return 1;
    }
    // A session ended from the terminal or by logging out keeps what it received.
    vt::CallOnTerminationSignals([&window] { window.Shutdown(); });
    // Windows ends a session (log-off, shut-down) with WM_ENDSESSION: Qt emits
    // aboutToQuit for it, and Windows ends the process right after.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] { window.Shutdown(); });
    window.show();
    return app.exec();
}
