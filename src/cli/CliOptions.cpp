#include "cli/CliOptions.h"

#include "cli/ExitCode.h"
#include "protocol/CZaridoDovoClient.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace {

// Arguments reach the parser as stand-ins that name their position, so that their bytes can be
// taken from the raw arguments afterwards. Options themselves ("-..." before "--") stay readable.
constexpr char16_t StandIn = u'\uFDD0';

QString StandInFor(qsizetype index)
{
    return QChar(StandIn) + QString::number(index);
}

QByteArray Raw(const QString &value, const QList<QByteArray> &arguments)
{
    if (value.startsWith(QChar(StandIn))) {
        bool ok = false;
        const qsizetype index = value.mid(1).toLongLong(&ok);
        if (ok && index >= 0 && index < arguments.size())
            return arguments[index];
    }
    return value.toLocal8Bit(); // the value of a --name=value argument
}

bool ToNumber(const QByteArray &text, int low, int high, int &out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

} // namespace

QString CliOptions::Usage()
{
    return QStringLiteral(
               "Usage:\n"
               "  textdrop-cli send ADDRESS [TEXT] [--to ADDRESS]... [--port N] [--password-file FILE]\n"
               "                    [--cipher sealed|legacy] [--reply-timeout SECONDS] [--wait SECONDS]\n"
               "                    [--verbose]\n"
               "      Sends TEXT, or standard input when TEXT is absent, as one message.\n"
               "      ADDRESS is a host, host:port, [IPv6]:port, a bare IPv6 address, or the name a\n"
               "      peer announces on the network (looked for up to --wait seconds, default 2).\n"
               "      With --to, the same text goes to every ADDRESS given (then ADDRESS itself may\n"
               "      be left out); the exit code is %7 when only some of them answered OK.\n"
               "      An empty text, or one above 16 MiB, is not sent (a receiver takes at most 1 MiB).\n"
               "      --reply-timeout  how long to wait for the receiver's answer once the text has\n"
               "                       gone out (default %1 seconds; decimals allowed).\n"
               "  textdrop-cli listen [--address A] [--port N] [--timeout TICKS] [--save-dir DIR]\n"
               "                      [--password-file FILE] [--cipher sealed|legacy] [--secure-only]\n"
               "                      [--null] [--announce NAME]\n"
               "      Receives until interrupted and writes the log to standard error.\n"
               "      Prints each message followed by a newline, or by a NUL byte with --null.\n"
               "      On a terminal, control characters other than newline and tab are shown\n"
               "      escaped (\\x1b); into a pipe or file the bytes pass unchanged.\n"
               "      --timeout   counts ticks of 10 seconds: a connection silent for TICKS + 1 ticks\n"
               "                  is ended, so the default 2 means 30 seconds and 0 means 10.\n"
               "      --save-dir  saves each message as a file in DIR instead of printing it; the\n"
               "                  sender is told \"OK\" only once the file is on disk, otherwise\n"
               "                  \"NOTSAVED\", and the system's reason is logged. A DIR in which no\n"
               "                  file can be created is refused at start (exit %4).\n"
               "      --announce  announces the receiver on the local network as NAME (through the\n"
               "                  Avahi daemon) so that others find it by name.\n"
               "  textdrop-cli peers [--wait SECONDS] [--tab]\n"
               "      Lists the receivers announced on the local network: name, address, port and\n"
               "      whether they take sealed messages. --tab prints one tab-separated line each.\n"
               "\n"
               "The port defaults to 30666. The password is read from FILE (its first line, at most\n"
               "4096 bytes) or from the environment variable TEXTDROP_PASSWORD; never from the\n"
               "command line.\n"
               "--cipher chooses what a password is used with: sealed (the default; authenticated,\n"
               "replies cannot be forged, replays refused) or legacy (compatible with older copies;\n"
               "weak). A listener takes sealed messages whenever it has a password, and legacy ones\n"
               "only with --cipher legacy.\n"
               "\n"
               "Exit codes:\n"
               "  %2    send: the receiver answered OK; listen: stopped by SIGINT or SIGTERM\n"
               "  %3    send: the receiver refused the message; its answer is shown: BAD (it\n"
               "       could not read it: another password?), MAXSIZE (over 1 MiB), NOTSAVED (not\n"
               "       saved), CLOCK (the clocks are more than 5 minutes apart), REPLAY (the same\n"
               "       message came before)\n"
               "  %4    usage: bad options, an unreadable password file, or a --save-dir that\n"
               "       cannot be written\n"
               "  %5    send: not delivered: could not connect, no complete answer in time, an\n"
               "       answer that is no valid reply, or BUSY (the receiver is busy: try again\n"
               "       later); listen: could not listen\n"
               "  %6    send: nothing sent: the text is empty or too long\n"
               "  %7    send to several: some answered OK, some did not (they are named)\n"
               "  128+N send: interrupted by signal N (130 for SIGINT, 143 for SIGTERM)\n")
        .arg(CZaridoDovoClient::ReplyTimeoutMilliseconds / 1000)
        .arg(ExitCode::Delivered)
        .arg(ExitCode::Refused)
        .arg(ExitCode::Usage)
        .arg(ExitCode::NotDelivered)
        .arg(ExitCode::NotSent)
        .arg(ExitCode::Partly);
}

CliOptions CliOptions::Parse(const QList<QByteArray> &arguments)
{
    CliOptions options;
    options.replyTimeoutMilliseconds = CZaridoDovoClient::ReplyTimeoutMilliseconds;

    QStringList standIns{QStringLiteral("textdrop-cli")};
    bool optionsEnded = false;
    for (qsizetype k = 0; k < arguments.size(); ++k) {
        const QByteArray &arg = arguments[k];
        const bool option = !optionsEnded && arg.startsWith('-') && arg.size() > 1;
        standIns += option ? QString::fromLocal8Bit(arg) : StandInFor(k);
        optionsEnded = optionsEnded || arg == "--";
    }

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("N"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption verbose(QStringLiteral("verbose"), QString());
    const QCommandLineOption replyTimeout(QStringLiteral("reply-timeout"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption address(QStringLiteral("address"), QString(), QStringLiteral("A"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("TICKS"));
    const QCommandLineOption saveDir(QStringLiteral("save-dir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption secureOnly(QStringLiteral("secure-only"), QString());
    const QCommandLineOption null(QStringLiteral("null"), QString());
    const QCommandLineOption cipher(QStringLiteral("cipher"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("ADDRESS"));
    const QCommandLineOption wait(QStringLiteral("wait"), QString(), QStringLiteral("SECONDS"));
    const QCommandLineOption tab(QStringLiteral("tab"), QString());
    const QCommandLineOption announce(QStringLiteral("announce"), QString(), QStringLiteral("NAME"));
    parser.addOptions({help, port, passwordFile, verbose, replyTimeout, address, timeout, saveDir, secureOnly, null,
                       cipher, to, wait, tab, announce});

    if (!parser.parse(standIns)) {
        options.error = parser.errorText();
        return options;
    }
    if (parser.isSet(help))
        return options;
    const auto value = [&](const QCommandLineOption &option) { return Raw(parser.value(option), arguments); };

    QList<QByteArray> positional;
    for (const QString &arg : parser.positionalArguments())
        positional += Raw(arg, arguments);
    if (positional.isEmpty()) {
        options.error = QStringLiteral("no command given");
        return options;
    }
    const QByteArray command = positional.takeFirst();
    if (command == "send") {
        options.command = Command::Send;
    } else if (command == "listen") {
        options.command = Command::Listen;
    } else if (command == "peers") {
        options.command = Command::Peers;
    } else {
        options.error = QStringLiteral("unknown command '%1'").arg(QString::fromLocal8Bit(command));
        return options;
    }
    const bool sending = options.command == Command::Send;
    const QList<QCommandLineOption> notFor[] = {
        {address, timeout, saveDir, secureOnly, null, tab, announce},                        // send
        {verbose, replyTimeout, to, wait, tab},                                               // listen
        {address, timeout, saveDir, secureOnly, null, verbose, replyTimeout, to, announce, port,
         passwordFile, cipher}};                                                               // peers
    for (const QCommandLineOption &option : notFor[static_cast<int>(options.command) - 1]) {
        if (parser.isSet(option)) {
            options.error = QStringLiteral("--%1 is not an option of %2")
                                .arg(option.names().first(), QString::fromLatin1(command));
            return options;
        }
    }

    if (parser.isSet(port) && !ToNumber(value(port), 1, 65535, options.port)) {
        options.error = QStringLiteral("--port takes a number from 1 to 65535");
        return options;
    }
    if (parser.isSet(timeout) && !ToNumber(value(timeout), 0, 1000000, options.timeout)) {
        options.error = QStringLiteral("--timeout takes a whole number of ticks from 0");
        return options;
    }
    if (parser.isSet(replyTimeout)) {
        bool ok = false;
        const double seconds = value(replyTimeout).toDouble(&ok);
        if (!ok || !(seconds > 0 && seconds <= 86400)) {
            options.error = QStringLiteral("--reply-timeout takes seconds, more than 0 and at most 86400");
            return options;
        }
        options.replyTimeoutMilliseconds = std::max(1, static_cast<int>(seconds * 1000));
    }
    if (parser.isSet(wait)) {
        bool ok = false;
        const double seconds = value(wait).toDouble(&ok);
        if (!ok || !(seconds >= 0 && seconds <= 3600)) {
            options.error = QStringLiteral("--wait takes seconds, from 0 to 3600");
            return options;
        }
        options.waitMilliseconds = static_cast<int>(seconds * 1000);
    }
    if (parser.isSet(announce)) {
        options.announce = QString::fromLocal8Bit(value(announce)).trimmed();
        if (options.announce.isEmpty()) {
            options.error = QStringLiteral("--announce needs a NAME");
            return options;
        }
    }
    if (parser.isSet(cipher)) {
        const QByteArray name = value(cipher);
        if (name == "sealed") {
            options.cipher = ZaridoDovo::Cipher::Sealed;
        } else if (name == "legacy") {
            options.cipher = ZaridoDovo::Cipher::Legacy;
        } else {
            options.error = QStringLiteral("--cipher takes sealed or legacy");
            return options;
        }
    }
    if (parser.isSet(passwordFile))
        options.passwordFile = QString::fromLocal8Bit(value(passwordFile));
    if (parser.isSet(saveDir))
        options.saveDir = QString::fromLocal8Bit(value(saveDir));
    if (parser.isSet(address))
        options.address = value(address);
    options.verbose = parser.isSet(verbose);
    options.secureOnly = parser.isSet(secureOnly);
    options.nullTerminated = parser.isSet(null);
    options.tab = parser.isSet(tab);

    if (sending) {
        for (const QString &destination : parser.values(to))
            options.destinations += Raw(destination, arguments);
        // With --to a lone argument is the TEXT; without, the first one is the ADDRESS.
        const bool addressFirst = options.destinations.isEmpty() || positional.size() == 2;
        if (addressFirst && !positional.isEmpty())
            options.destinations.prepend(positional.takeFirst());
        if (options.destinations.isEmpty() || options.destinations.contains(QByteArray())) {
            options.error = QStringLiteral("send needs an ADDRESS");
        } else if (positional.size() > 1) {
            options.error = QStringLiteral("send takes one TEXT (quote it)");
        } else {
            options.hasText = positional.size() == 1;
            if (options.hasText)
                options.text = positional[0];
        }
    } else if (!positional.isEmpty()) {
        options.error = QStringLiteral("%1 takes no arguments, only options").arg(QString::fromLatin1(command));
    }
    return options;
}
