#include "TextdropVersion.h"
#include "app/AppController.h"
#include "app/AppIcon.h"
#include "app/SingleInstance.h"
#include "app/frmMain.h"

#include <QApplication>

namespace {

// Loads the main window; a second copy asks the running one to come forward and ends
// without saving anything. Otherwise the window shows and the server starts listening.
int Main(QApplication &app)
{
    frmMain window;
    AppController &controller = window.Controller();
    if (controller.Run().AlreadyRunning) {
        QObject::connect(&controller.Instance(), &SingleInstance::Finished, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        controller.Instance().AskRunningCopyToShow();
        return app.exec();
    }

    window.show();
    window.StartServer();
    QObject::connect(&window, &frmMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral(TEXTDROP_TITLE));
    QApplication::setApplicationVersion(QStringLiteral(TEXTDROP_VERSION));
    QApplication::setWindowIcon(AppIcon());
    // The program lives on in the tray with no window shown; only the quit commands end it.
    QApplication::setQuitOnLastWindowClosed(false);
    return Main(app);
}
