#include "TextdropVersion.h"
#include "app/AppController.h"
#include "core/MessageArchive.h"
#include "crypto/Sodium.h"
#include "desktop/AppIcon.h"
#include "core/SignalWatch.h"
#include "desktop/SingleInstance.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QCommandLineParser>

#include <csignal>

namespace {

// Loads the main window; a second copy has asked the running one to come forward while its
// loading told the user so, and ends without saving anything once the request is done. Otherwise the window shows and the server starts listening.
// A hidden start (at log-in) shows only the tray icon.
int Main(QApplication &app, bool hidden)
{
    frmMain window;
    AppController &controller = window.Controller();
    if (controller.Run().AlreadyRunning) {
        if (controller.Instance().AskFinished())
            return 0;
        QObject::connect(&controller.Instance(), &SingleInstance::Finished, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        return app.exec();
    }

    window.Present(hidden);
    window.StartServer();
    QObject::connect(&window, &frmMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    // The session's end (log-out, shutdown, a closed terminal) quits as File -> Exit does.
    SignalWatch endings({SIGTERM, SIGHUP});
    QObject::connect(&endings, &SignalWatch::Received, &window, &frmMain::ExitProgram);
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any thread or password: a core file would carry the password.
    if (!Sodium::DisableCoreDumps())
        qWarning("Core dumps could not be switched off");
    MessageArchive::CreationMask();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(TEXTDROP_TITLE));
    QApplication::setApplicationVersion(QStringLiteral(TEXTDROP_VERSION));
    QApplication::setWindowIcon(AppIcon());
    // The program lives on in the tray with no window shown; only the quit commands end it.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Passes text between computers on the local network."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption hidden(QStringLiteral("hidden"),
                                    QStringLiteral("Start in the tray without showing the window."));
    options.addOption(hidden);
    options.process(app);
    return Main(app, options.isSet(hidden));
}
