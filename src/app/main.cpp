#include "TextdropVersion.h"
#include "app/AppController.h"
#include "app/Translations.h"
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

// The program's options; the parser needs no application object to be built.
struct Options {
    QCommandLineParser parser;
    QCommandLineOption hidden{QStringLiteral("hidden"), QStringLiteral("Start in the tray without showing the window.")};
    Options()
    {
        parser.setApplicationDescription(QStringLiteral("Passes text between computers on the local network."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(hidden);
    }
};

// True when the command line only asks for text (--help, --version): that needs no display.
bool AsksOnlyForText(int argc, char *argv[])
{
    static const QList<QByteArray> textOnly{"-h", "-?", "--help", "--help-all", "-v", "--version"};
    for (int i = 1; i < argc; ++i)
        if (textOnly.contains(QByteArray(argv[i])))
            return true;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral(TEXTDROP_TITLE));
    QCoreApplication::setApplicationVersion(QStringLiteral(TEXTDROP_VERSION));
    Options options;
    if (AsksOnlyForText(argc, argv)) {
        // Without a window system: the text goes to the terminal and the program ends.
        QCoreApplication text(argc, argv);
        options.parser.process(text);
        return 0;
    }
    // Before any thread or password: a core file would carry the password.
    if (!Sodium::DisableCoreDumps())
        qWarning("Core dumps could not be switched off");
    MessageArchive::CreationMask();
    QApplication app(argc, argv);
    const Translations language(QLocale::system());
    QApplication::setWindowIcon(AppIcon());
    // The program lives on in the tray with no window shown; only the quit commands end it.
    QApplication::setQuitOnLastWindowClosed(false);
    options.parser.process(app);
    return Main(app, options.parser.isSet(options.hidden));
}
