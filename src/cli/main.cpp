// textdrop-cli: send one message, or receive messages, from a terminal or a script.
#include "cli/CliOptions.h"
#include "cli/ListenCommand.h"
#include "cli/SendCommand.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int ExitUsage = 2;

int SignalPipe[2] = {-1, -1};

extern "C" void OnQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(SignalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop cleanly: the handler only writes to a pipe that the
// loop watches, the one thing a signal handler may safely do here.
void QuitOnSignals(QCoreApplication &app)
{
    if (::pipe(SignalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool ReadPassword(const CliOptions &options, QByteArray &password, QString &error)
{
    if (options.passwordFile.isEmpty()) {
        password = qgetenv("TEXTDROP_PASSWORD");
        return true;
    }
    QFile file(options.passwordFile);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read the password file %1: %2").arg(options.passwordFile, file.errorString());
        return false;
    }
    // The first line, without its line end.
    password = file.readLine();
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    if (password.isEmpty()) {
        error = QStringLiteral("the password file %1 holds no password").arg(options.passwordFile);
        return false;
    }
    return true;
}

QByteArray ReadStandardInput()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return {};
    return in.readAll();
}

} // namespace

int main(int argc, char *argv[])
{
    QList<QByteArray> arguments;
    for (int k = 1; k < argc; ++k)
        arguments += QByteArray(argv[k]);
    const CliOptions options = CliOptions::Parse(arguments);

    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "textdrop-cli: %s\n\n%s", qPrintable(options.error), qPrintable(CliOptions::Usage()));
        return ExitUsage;
    }
    if (options.command == CliOptions::Command::Help) {
        std::fputs(qPrintable(CliOptions::Usage()), stdout);
        return 0;
    }

    QByteArray password;
    QString error;
    if (!ReadPassword(options, password, error)) {
        std::fprintf(stderr, "textdrop-cli: %s\n", qPrintable(error));
        return ExitUsage;
    }

    QCoreApplication app(argc, argv);
    QuitOnSignals(app);

    if (options.command == CliOptions::Command::Send) {
        const QByteArray message = options.hasText ? options.text : ReadStandardInput();
        SendCommand send(options.verbose);
        QObject::connect(&send, &SendCommand::Finished, &app, [](int code) { QCoreApplication::exit(code); });
        send.Start(QString::fromLocal8Bit(options.address), options.port, message, password);
        return app.exec();
    }

    ListenCommand listen(options.saveDir);
    if (!listen.Start(QString::fromLocal8Bit(options.address), options.port, options.timeout, password,
                      options.secureOnly)) {
        std::fprintf(stderr, "textdrop-cli: could not listen on port %d\n", options.port);
        return 1;
    }
    return app.exec();
}
