// textdrop-cli: send one message, or receive messages, from a terminal or a script.
#include "cli/CliOptions.h"
#include "cli/ExitCode.h"
#include "cli/ListenCommand.h"
#include "cli/PeersCommand.h"
#include "cli/SendPlan.h"
#include "crypto/Sodium.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int SignalPipe[2] = {-1, -1};

extern "C" void OnQuitSignal(int signal)
{
    const auto byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = ::write(SignalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop cleanly: the handler only writes the signal's number
// to a pipe that the loop watches, the one thing a signal handler may safely do here. The
// loop then exits with exitCode(signal).
template <typename ExitCodeFor>
void QuitOnSignals(QCoreApplication &app, ExitCodeFor exitCode)
{
    if (::pipe(SignalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [exitCode] {
        char signal = 0;
        if (::read(SignalPipe[0], &signal, 1) == 1)
            QCoreApplication::exit(exitCode(static_cast<int>(signal)));
    });
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
        std::fprintf(stderr, "textdrop-cli: %s\nTry 'textdrop-cli --help' for the options.\n", qPrintable(options.error));
        return ExitCode::Usage;
    }
    if (options.command == CliOptions::Command::Help) {
        std::fputs(qPrintable(CliOptions::Usage()), stdout);
        return ExitCode::Delivered;
    }

    QByteArray password;
    QString error;
    if (!ReadPassword(options, password, error)) {
        std::fprintf(stderr, "textdrop-cli: %s\n", qPrintable(error));
        return ExitCode::Usage;
    }
    // A core file would carry the password.
    if (!password.isEmpty())
        Sodium::SetDumpable(false);
    // Past a file size limit a write then fails and is reported, instead of killing the
    // listener halfway through a file.
    std::signal(SIGXFSZ, SIG_IGN);

    QCoreApplication app(argc, argv);

    if (options.command == CliOptions::Command::Send) {
        // An interrupted send is no success: a script must not read it as one.
        QuitOnSignals(app, [](int signal) { return ExitCode::SignalBase + signal; });
        const QByteArray message = options.hasText ? options.text : ReadStandardInput();
        SendPlan send(options.destinations, {options.port, options.waitMilliseconds, options.replyTimeoutMilliseconds,
                                             options.verbose, options.cipher});
        // Queued: an outcome known at once (nothing to send) must reach a running loop.
        QObject::connect(&send, &SendPlan::Finished, &app, [](int code) { QCoreApplication::exit(code); },
                         Qt::QueuedConnection);
        send.Start(message, password); // the plan keeps its copy in locked memory
        Sodium::Wipe(password);
        return app.exec();
    }
    if (options.command == CliOptions::Command::Peers) {
        PeersCommand peers(options.tab);
        QObject::connect(&peers, &PeersCommand::Finished, &app, [](int code) { QCoreApplication::exit(code); },
                         Qt::QueuedConnection);
        peers.Start(options.waitMilliseconds);
        return app.exec();
    }

    // A listener's normal end is Ctrl+C.
    QuitOnSignals(app, [](int) { return ExitCode::Delivered; });
    ListenCommand::Output output;
    output.nullTerminated = options.nullTerminated;
    output.terminal = ::isatty(STDOUT_FILENO) == 1;
    ListenCommand listen(options.saveDir, output);
    if (!listen.Start(QString::fromLocal8Bit(options.address), options.port, options.timeout, password,
                      options.secureOnly, options.cipher)) {
        std::fprintf(stderr, "textdrop-cli: could not listen on port %d\n", options.port);
        return ExitCode::NotDelivered;
    }
    if (!options.announce.isEmpty())
        listen.Announce(options.announce, options.port, !password.isEmpty());
    Sodium::Wipe(password);
    return app.exec();
}
