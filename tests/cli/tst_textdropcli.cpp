// textdrop-cli driven as a user would: real processes on loopback.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include "ScriptedReceiver.h"

#include <csignal>
#include <functional>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

static const QString Cli = QStringLiteral(TEXTDROP_CLI_PATH);

static int FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct Outcome
{
    int exitCode = -1;
    QByteArray output; // standard output, then standard error
};

// whileRunning, when given, acts on the running process before it is waited for.
static Outcome Run(const QStringList &arguments, const QByteArray &input = {}, const QByteArray &password = {},
                   const std::function<bool(QProcess &)> &whileRunning = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("TEXTDROP_PASSWORD");
    if (!password.isEmpty())
        env.insert("TEXTDROP_PASSWORD", password);
    process.setProcessEnvironment(env);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(Cli, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (whileRunning && !whileRunning(process))
        return {};
    if (!finished.wait(20000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput() + process.readAllStandardError()};
}

// A listener process, stopped with SIGTERM as a user's Ctrl+C would.
struct Listener
{
    explicit Listener(const QStringList &extra = {}, rlim_t fileSizeLimit = RLIM_INFINITY)
    {
        if (fileSizeLimit != RLIM_INFINITY) {
            process.setChildProcessModifier([fileSizeLimit] {
                const rlimit limit{fileSizeLimit, fileSizeLimit};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            });
        }
        process.start(Cli, QStringList{"listen", "--address", "127.0.0.1", "--port", QString::number(port)} + extra);
        started = QTest::qWaitFor([this] { return (log += process.readAllStandardError()).contains("started on"); }, 10000);
    }
    QByteArray Output(qsizetype bytes)
    {
        (void)QTest::qWaitFor([&] { return (out += process.readAllStandardOutput()).size() >= bytes; }, 10000);
        return out;
    }
    int Stop()
    {
        QSignalSpy finished(&process, &QProcess::finished);
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        if (!finished.wait(10000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        out += process.readAllStandardOutput();
        return process.exitCode();
    }
    int port = FreePort();
    QProcess process;
    bool started = false;
    QByteArray out;
    QByteArray log; // standard error
};

class tst_textdropcli : public QObject
{
    Q_OBJECT

private slots:
    // The senders' salt and the listeners' replay memory go to a data folder of the test's own.
    void initTestCase() { QVERIFY(qputenv("XDG_DATA_HOME", m_dataHome.path().toLocal8Bit())); }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("no command") << QStringList{} << 2 << QByteArray("no command");
        QTest::newRow("send without address") << QStringList{"send"} << 2 << QByteArray("ADDRESS");
        QTest::newRow("port 0") << QStringList{"send", "127.0.0.1", "x", "--port", "0"} << 2 << QByteArray("--port");
        QTest::newRow("unknown option") << QStringList{"send", "127.0.0.1", "--fast"} << 2 << QByteArray("Unknown option");
        QTest::newRow("listen option given to send")
            << QStringList{"send", "127.0.0.1", "x", "--null"} << 2 << QByteArray("--null is not an option of send");
        QTest::newRow("reply deadline of 0") << QStringList{"send", "127.0.0.1", "x", "--reply-timeout", "0"} << 2
                                             << QByteArray("--reply-timeout");
        QTest::newRow("help: exit codes and ticks")
            << QStringList{"--help"} << 0 << QByteArray("default 2 means 30 seconds");
        QTest::newRow("text that looks like an option, after --")
            << QStringList{"send", "127.0.0.1", "--port", QString::number(FreePort()), "--", "--port"} << 3
            << QByteArray("not delivered: Connection refused");
        QTest::newRow("unknown cipher") << QStringList{"send", "127.0.0.1", "x", "--cipher", "rc4"} << 2
                                        << QByteArray("--cipher takes sealed or legacy");
        QTest::newRow("two texts") << QStringList{"send", "127.0.0.1", "a", "b"} << 2 << QByteArray("one TEXT");
        QTest::newRow("two texts with --to") << QStringList{"send", "a", "b", "c", "--to", "h"} << 2 << QByteArray("one TEXT");
        QTest::newRow("--tab is for peers") << QStringList{"send", "h", "x", "--tab"} << 2 << QByteArray("--tab is not an option of send");
        QTest::newRow("peers takes no address") << QStringList{"peers", "h"} << 2 << QByteArray("peers takes no arguments");
        QTest::newRow("bad port typed") << QStringList{"send", "h:99999", "x", "--wait", "0"} << 2 << QByteArray("port must be");
        QTest::newRow("missing password file")
            << QStringList{"send", "127.0.0.1", "a", "--password-file", "/nonexistent"} << 2 << QByteArray("password file");
        QTest::newRow("help") << QStringList{"listen", "--help"} << 0 << QByteArray("--secure-only");
        QTest::newRow("password file without end")
            << QStringList{"send", "127.0.0.1", "a", "--password-file", "/dev/zero"} << 2
            << QByteArray("no line end within 4096 bytes");
        QTest::newRow("save folder nothing can be created in")
            << QStringList{"listen", "--port", QString::number(FreePort()), "--save-dir", "/proc/self"} << 2
            << QByteArray("cannot save into /proc/self");
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        const Outcome outcome = Run(arguments);
        QCOMPARE(outcome.exitCode, exitCode);
        QVERIFY2(outcome.output.contains(said), outcome.output.constData());
    }

    void sendOutcome_data()
    {
        QTest::addColumn<int>("script");
        QTest::addColumn<int>("textSize"); // sent from standard input
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        using R = ScriptedReceiver;
        QTest::newRow("OK") << int(R::ReplyThenClose) << 10 << QByteArray("OK") << 0 << QByteArray();
        QTest::newRow("BAD") << int(R::ReplyThenClose) << 10 << QByteArray("BAD") << 1
                             << QByteArray("refused the message: BAD (the receiver could not read the message");
        QTest::newRow("NOTSAVED") << int(R::ReplyThenClose) << 10 << QByteArray("NOTSAVED") << 1
                                  << QByteArray("NOTSAVED (the receiver could not save the message");
        QTest::newRow("MAXSIZE, then resets a 16 MiB upload")
            << int(R::ReplyThenReset) << 16 * 1024 * 1024 - 1 << QByteArray("MAXSIZE") << 1
            << QByteArray("MAXSIZE (the receiver takes at most 1 MiB)");
        QTest::newRow("CLOCK") << int(R::ReplyThenClose) << 10 << QByteArray("CLOCK") << 1
                               << QByteArray("CLOCK (the sender's and the receiver's clocks are more than 5 minutes");
        QTest::newRow("BUSY: try again later") << int(R::ReplyThenClose) << 10 << QByteArray("BUSY") << 3
                                               << QByteArray("not delivered: BUSY (the receiver is busy");
        QTest::newRow("no valid reply frame") << int(R::ReplyThenClose) << 10 << QByteArray(1048577, 'x') << 3
                                              << QByteArray("no complete answer (the receiver's answer was not");
        QTest::newRow("closes without a reply") << int(R::CloseSilently) << 10 << QByteArray() << 3
                                                << QByteArray("ended before a reply");
        QTest::newRow("resets without a reply") << int(R::ResetSilently) << 10 << QByteArray() << 3
                                                << QByteArray("ended before a reply");
        QTest::newRow("closes 9 bytes into a reply") << int(R::PartialReplyThenClose) << 10 << QByteArray("OK") << 3
                                                     << QByteArray("9 bytes into a reply");
        QTest::newRow("never answers") << int(R::StaySilent) << 10 << QByteArray() << 3
                                       << QByteArray("within 0.3 seconds");
        QTest::newRow("empty text") << int(R::ReplyThenClose) << 0 << QByteArray("OK") << 4
                                    << QByteArray("Nothing was sent: there is nothing to send");
        QTest::newRow("too long to frame") << int(R::ReplyThenClose) << 16 * 1024 * 1024 << QByteArray("OK") << 4
                                           << QByteArray("Nothing was sent: the text is 16777216 bytes");
    }
    void sendOutcome()
    {
        QFETCH(int, script);
        QFETCH(int, textSize);
        QFETCH(QByteArray, reply);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        const int frame = 8 + textSize;
        ScriptedReceiver receiver(static_cast<ScriptedReceiver::Script>(script), textSize > 1000 ? 8 : frame, reply);
        const QByteArray text(textSize, 'x');
        const Outcome outcome = Run({"send", "127.0.0.1", "--port", QString::number(receiver.Port()),
                                     "--reply-timeout", "0.3"},
                                    text);
        QCOMPARE(outcome.exitCode, exitCode);
        QVERIFY2(outcome.output.contains(said), outcome.output.constData());
        QCOMPARE(receiver.connections, exitCode == 4 ? 0 : 1);
    }

    // One text to several receivers, named "host:port": each gets it; the exit code tells
    // whether all, some or none answered OK, and the others are named.
    void sendsToSeveral_data()
    {
        QTest::addColumn<QByteArrayList>("replies"); // empty: nothing listens there
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("all OK") << QByteArrayList{"OK", "OK", "OK"} << 0 << QByteArray();
        QTest::newRow("one refused") << QByteArrayList{"OK", "NOPE", "OK"} << 5 << QByteArray("2 of 3 answered OK; not: 127.0.0.1:");
        QTest::newRow("one unreachable") << QByteArrayList{"OK", ""} << 5 << QByteArray("1 of 2 answered OK; not: 127.0.0.1:");
        QTest::newRow("none") << QByteArrayList{"", "NOPE"} << 3 << QByteArray("0 of 2 answered OK");
    }
    void sendsToSeveral()
    {
        QFETCH(QByteArrayList, replies);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        std::vector<std::unique_ptr<ScriptedReceiver>> receivers;
        QStringList arguments{"send", "x"};
        for (const QByteArray &reply : replies) {
            receivers.push_back(std::make_unique<ScriptedReceiver>(ScriptedReceiver::ReplyThenClose, 9, reply));
            arguments << "--to" << "127.0.0.1:" + QString::number(reply.isEmpty() ? FreePort() : receivers.back()->Port());
        }
        const Outcome outcome = Run(arguments);
        QCOMPARE(outcome.exitCode, exitCode);
        QVERIFY2(outcome.output.contains(said), outcome.output.constData());
        for (qsizetype k = 0; k < replies.size(); ++k)
            QCOMPARE(receivers[k]->received, replies[k].isEmpty() ? 0 : 9);
    }

    void interruptedSendIsNoSuccess_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("readingPipe"); // standard input left open
        QTest::newRow("SIGTERM") << int(SIGTERM) << 128 + SIGTERM << false;
        QTest::newRow("SIGINT") << int(SIGINT) << 128 + SIGINT << false;
        QTest::newRow("SIGINT while reading a pipe") << int(SIGINT) << 128 + SIGINT << true;
    }
    void interruptedSendIsNoSuccess()
    {
        QFETCH(int, signalNumber);
        QFETCH(int, exitCode);
        QFETCH(bool, readingPipe);
        ScriptedReceiver receiver(ScriptedReceiver::StaySilent, 11, {});
        if (readingPipe) {
            int in[2] = {-1, -1};
            QCOMPARE(::pipe(in), 0);
            QProcess process;
            process.setChildProcessModifier([&in] { ::dup2(in[0], STDIN_FILENO); });
            process.start(Cli, {"send", "127.0.0.1", "--port", QString::number(receiver.Port())});
            ::close(in[0]);
            QCOMPARE(::write(in[1], "abc", 3), 3);
            int unread = 3; // read by the sender: it is past its start and waits for more
            QVERIFY(QTest::qWaitFor([&] { return ::ioctl(in[1], FIONREAD, &unread) == 0 && unread == 0; }, 10000));
            ::kill(static_cast<pid_t>(process.processId()), signalNumber);
            const bool ended = process.waitForFinished(3000);
            ::close(in[1]);
            QVERIFY2(ended, "still reading after the signal");
            QCOMPARE(process.exitCode(), exitCode);
            return;
        }
        // The signal goes out once the receiver has the whole frame and the sender waits.
        const Outcome outcome = Run({"send", "127.0.0.1", "abc", "--port", QString::number(receiver.Port())}, {}, {},
                                    [&](QProcess &process) {
                                        if (!QTest::qWaitFor([&] { return receiver.received >= 11; }, 10000))
                                            return false;
                                        return ::kill(static_cast<pid_t>(process.processId()), signalNumber) == 0;
                                    });
        QCOMPARE(outcome.exitCode, exitCode);
    }

    // Messages from standard input, bytes unchanged; a line end after each, or a NUL with --null.
    void listenerPrintsEachMessage_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QByteArrayList>("messages");
        QTest::addColumn<QByteArray>("printed");
        static const char raw[] = "\x00\x01\xff\xfe line\r\nnext \xc3\xa9"; // not text at all
        const QByteArray binary(raw, sizeof raw - 1);
        QTest::newRow("line ends") << QStringList{} << QByteArrayList{"hello", binary} << "hello\n" + binary + "\n";
        QTest::newRow("--null") << QStringList{"--null"} << QByteArrayList{"two\nlines", "\x1b[2J"}
                                << QByteArray("two\nlines\0\x1b[2J\0", 15); // a pipe gets the bytes
    }
    void listenerPrintsEachMessage()
    {
        QFETCH(QStringList, extra);
        QFETCH(QByteArrayList, messages);
        QFETCH(QByteArray, printed);
        Listener listener(extra);
        QVERIFY(listener.started);
        for (const QByteArray &message : messages)
            QCOMPARE(Run({"send", "127.0.0.1", "--port", QString::number(listener.port)}, message).exitCode, 0);
        QCOMPARE(listener.Output(printed.size()), printed);
        QCOMPARE(listener.Stop(), 0);
    }

    void terminalSeesControlsEscaped()
    {
        // Standard output on a pseudo-terminal, as when run by hand.
        int master = -1, slave = -1;
        QVERIFY(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw); // no CR added to line ends
        ::tcsetattr(slave, TCSANOW, &raw);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
        const int port = FreePort();
        QProcess process;
        process.setChildProcessModifier([slave] { ::dup2(slave, STDOUT_FILENO); });
        process.start(Cli, {"listen", "--address", "127.0.0.1", "--port", QString::number(port)});
        ::close(slave);
        QVERIFY(QTest::qWaitFor([&] { return process.readAllStandardError().contains("started on"); }, 10000));
        QCOMPARE(Run({"send", "127.0.0.1", "--port", QString::number(port)}, "a\tb\x1b]0;title\x07\r\x9b").exitCode, 0);
        QByteArray shown;
        const QByteArray expected("a\tb\\x1b]0;title\\x07\\x0d\\x9b\n");
        (void)QTest::qWaitFor([&] {
            char chunk[256];
            const ssize_t got = ::read(master, chunk, sizeof chunk);
            if (got > 0)
                shown.append(chunk, got);
            return shown.size() >= expected.size();
        }, 10000);
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(10000));
        ::close(master);
        QCOMPARE(shown, expected);
    }

    // "OK" means the text is on disk; otherwise the sender hears why not and the listener goes on.
    void saveFailureIsRefused_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("folder removed while running") << QStringLiteral("removed");
        QTest::newRow("file size limit") << QStringLiteral("limit");
    }
    void saveFailureIsRefused()
    {
        QFETCH(QString, failure);
        QTemporaryDir dir;
        const QString folder = dir.filePath("saved");
        QVERIFY(QDir().mkdir(folder));
        Listener listener({"--save-dir", folder}, failure == "limit" ? 4096 : RLIM_INFINITY);
        QVERIFY(listener.started);
        if (failure == "removed")
            QVERIFY(QDir(folder).removeRecursively());
        const QStringList send{"send", "127.0.0.1", "--port", QString::number(listener.port)};

        const Outcome refused = Run(send, QByteArray(10000, 'x'));
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.output.contains("NOTSAVED (the receiver could not save the message"), refused.output.constData());
        QTRY_VERIFY2((listener.log += listener.process.readAllStandardError()).contains("Error: not saved as "),
                     listener.log.constData());
        const QStringList left = QDir(folder).entryList({"*.txt", "*.part"}, QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' '))); // not even a part of it

        // Still serving: once the cause is gone, messages are kept again.
        if (failure == "removed")
            QVERIFY(QDir().mkdir(folder));
        QCOMPARE(Run(send, "small").exitCode, 0);
        const QStringList kept = QDir(folder).entryList({"*.txt"}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QFile file(QDir(folder).filePath(kept.first()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("small\r\n"));
        QCOMPARE(listener.Stop(), 0);
    }

    void encipheredAndRefusedSends()
    {
        QTemporaryDir dir;
        QFile passwordFile(dir.filePath("password"));
        QVERIFY(passwordFile.open(QIODevice::WriteOnly) && passwordFile.write("open sesame\n") > 0);
        passwordFile.close();
        Listener listener({"--secure-only", "--password-file", passwordFile.fileName()});
        QVERIFY(listener.started);
        const QString port = QString::number(listener.port);

        // Each run sends with the user's kept salt, so a script's sends are never over the
        // receiver's bound on new salts.
        QByteArray expected;
        for (int run = 1; run <= 12; ++run) {
            const Outcome sent = Run({"send", "127.0.0.1", "secret text", "--port", port}, {}, "open sesame");
            QVERIFY2(sent.exitCode == 0, sent.output.constData());
            expected += "secret text\n";
        }
        QCOMPARE(listener.Output(expected.size()), expected);
        QCOMPARE(int(QFileInfo(m_dataHome.filePath("textdrop-cli/sender-salt")).permissions()) & 0x77, 0);
        for (const QByteArray &password : {QByteArray("wrong"), QByteArray()}) {
            const Outcome refused = Run({"send", "127.0.0.1", "not for you", "--port", port}, {}, password);
            QCOMPARE(refused.exitCode, 1);
            QVERIFY2(refused.output.contains("BAD"), refused.output.constData());
        }
        QCOMPARE(listener.Stop(), 0);
        QCOMPARE(listener.out, expected); // nothing undecipherable was delivered
    }

private:
    QTemporaryDir m_dataHome;
};

QTEST_GUILESS_MAIN(tst_textdropcli)
#include "tst_textdropcli.moc"
