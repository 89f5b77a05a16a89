// textdrop-cli: send one message, or receive messages, from a terminal or a script.
#include "cli/CliOptions.h"
#include "cli/ExitCode.h"
#include "cli/ListenCommand.h"
#include "cli/PeersCommand.h"
#include "cli/SendPlan.h"
#include "crypto/Sodium.h"
#include "protocol/WireFormat.h"
#include "core/MessageArchive.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace {

// A longer first line in a password file is no password (and /dev/zero has no end).
constexpr qint64 MaxPasswordBytes = 4096;

int SignalPipe[2] = {-1, -1};
volatile std::sig_atomic_t QuitSignal = 0;

extern "C" void OnQuitSignal(int signal)
{
    QuitSignal = signal;
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
    password = file.read(MaxPasswordBytes + 1);
    const qsizetype end = password.indexOf('\n');
    if (end < 0 && password.size() > MaxPasswordBytes) {
        Sodium::Wipe(password);
        error = QStringLiteral("the password file %1 holds no line end within %2 bytes")
                    .arg(options.passwordFile)
                    .arg(MaxPasswordBytes);
        return false;
    }
    if (end >= 0)
        password.truncate(end);
    while (password.endsWith('\n') || password.endsWith('\r'))
        password.chop(1);
    if (password.isEmpty()) {
        error = QStringLiteral("the password file %1 holds no password").arg(options.passwordFile);
        return false;
    }
    return true;
}

// Standard input up to one byte more than any frame holds (enough to be refused as too
// long); false when a quit signal came first. The signal pipe is watched with the input, so
// a signal stops the wait whenever it comes.
bool ReadStandardInput(QByteArray &text)
{
    pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {SignalPipe[0], POLLIN, 0}};
    char chunk[65536];
    while (QuitSignal == 0 && text.size() <= ZaridoDovo::MaxFrameLength) {
        if (::poll(watched, 2, -1) < 0 && errno != EINTR)
            return true;
        if (QuitSignal != 0 || watched[0].revents == 0)
            continue;
        const auto wanted = std::min<qsizetype>(sizeof chunk, ZaridoDovo::MaxFrameLength + 1 - text.size());
        const ssize_t got = ::read(STDIN_FILENO, chunk, static_cast<std::size_t>(wanted));
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))
            return true;
        if (got > 0)
            text.append(chunk, got);
    }
    return QuitSignal == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Before any thread or password: a core file would carry the password.
    if (!Sodium::DisableCoreDumps())
        std::fputs("textdrop-cli: warning: core dumps could not be switched off\n", stderr);
    MessageArchive::CreationMask();
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
    // Past a file size limit a write then fails and is reported, instead of killing the
    // listener halfway through a file.
    std::signal(SIGXFSZ, SIG_IGN);

    QCoreApplication app(argc, argv);

    if (options.command == CliOptions::Command::Send) {
        // An interrupted send is no success: a script must not read it as one.
        QuitOnSignals(app, [](int signal) { return ExitCode::SignalBase + signal; });
        QByteArray message = options.text;
        if (!options.hasText && !ReadStandardInput(message))
            return ExitCode::SignalBase + QuitSignal;
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

    // A folder that cannot take a file would refuse every message: said now, not per message.
    if (MessageArchive archive(options.saveDir); !options.saveDir.isEmpty() && !archive.CheckWritable()) {
        std::fprintf(stderr, "textdrop-cli: cannot save into %s: %s\n", qPrintable(options.saveDir),
                     qPrintable(archive.errorString()));
        return ExitCode::Usage;
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
