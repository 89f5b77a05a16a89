#include "cli/CliOptions.h"

namespace {

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
        "  textdrop-cli send ADDRESS [TEXT] [--port N] [--password-file FILE] [--verbose]\n"
        "      Sends TEXT, or standard input when TEXT is absent, as one message.\n"
        "      Exits 0 when the receiver answers OK.\n"
        "  textdrop-cli listen [--address A] [--port N] [--timeout S] [--save-dir DIR]\n"
        "                      [--password-file FILE] [--secure-only]\n"
        "      Receives until interrupted; prints each message followed by a newline\n"
        "      (or saves it in DIR) and writes the log to standard error.\n"
        "\n"
        "The port defaults to 30666. The password is read from FILE (its first line) or from\n"
        "the environment variable TEXTDROP_PASSWORD; never from the command line.\n");
}

CliOptions CliOptions::Parse(const QList<QByteArray> &arguments)
{
    CliOptions options;
    if (arguments.isEmpty() || arguments.contains("--help") || arguments.contains("-h")) {
        if (arguments.isEmpty())
            options.error = QStringLiteral("no command given");
        return options;
    }

    const QByteArray command = arguments.first();
    if (command == "send") {
        options.command = Command::Send;
    } else if (command == "listen") {
        options.command = Command::Listen;
    } else {
        options.error = QStringLiteral("unknown command '%1'").arg(QString::fromLocal8Bit(command));
        return options;
    }
    const bool sending = options.command == Command::Send;

    QList<QByteArray> positional;
    for (qsizetype k = 1; k < arguments.size(); ++k) {
        const QByteArray &arg = arguments[k];
        const auto value = [&](QByteArray &out) {
            if (k + 1 >= arguments.size()) {
                options.error = QStringLiteral("%1 needs a value").arg(QString::fromLocal8Bit(arg));
                return false;
            }
            out = arguments[++k];
            return true;
        };
        QByteArray v;
        if (arg == "--port") {
            if (!value(v))
                return options;
            if (!ToNumber(v, 1, 65535, options.port)) {
                options.error = QStringLiteral("--port takes a number from 1 to 65535");
                return options;
            }
        } else if (arg == "--password-file") {
            if (!value(v))
                return options;
            options.passwordFile = QString::fromLocal8Bit(v);
        } else if (sending && arg == "--verbose") {
            options.verbose = true;
        } else if (!sending && arg == "--address") {
            if (!value(options.address))
                return options;
        } else if (!sending && arg == "--timeout") {
            if (!value(v))
                return options;
            if (!ToNumber(v, 0, 1000000, options.timeout)) {
                options.error = QStringLiteral("--timeout takes a whole number from 0");
                return options;
            }
        } else if (!sending && arg == "--save-dir") {
            if (!value(v))
                return options;
            options.saveDir = QString::fromLocal8Bit(v);
        } else if (!sending && arg == "--secure-only") {
            options.secureOnly = true;
        } else if (arg == "--") {
            positional += arguments.mid(k + 1);
            break;
        } else if (arg.startsWith("--")) {
            options.error = QStringLiteral("unknown option '%1'").arg(QString::fromLocal8Bit(arg));
            return options;
        } else {
            positional += arg;
        }
    }

    if (sending) {
        if (positional.isEmpty() || positional.first().isEmpty()) {
            options.error = QStringLiteral("send needs an ADDRESS");
        } else if (positional.size() > 2) {
            options.error = QStringLiteral("send takes one TEXT (quote it)");
        } else {
            options.address = positional.first();
            options.hasText = positional.size() == 2;
            if (options.hasText)
                options.text = positional[1];
        }
    } else if (!positional.isEmpty()) {
        options.error = QStringLiteral("listen takes no arguments, only options");
    }
    return options;
}
