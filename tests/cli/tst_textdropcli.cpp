// textdrop-cli driven as a user would: real processes on loopback.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "ScriptedReceiver.h"
#include "TestFiles.h"
#include "WindowTestHome.h"
#include "cli/CliOptions.h"
#include "protocol/CZaridoDovoClient.h"

#include <csignal>
#include <functional>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

static const QString Cli = QStringLiteral(TEXTDROP_CLI_PATH);

using WindowTestHome::FreePort;

struct Outcome
{
    int exitCode = -1;
    QByteArray output; // standard output, then standard error
};

static Outcome Run(const QStringList &arguments, const QByteArray &input = {}, const QByteArray &password = {})
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
    if (!finished.wait(20000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardOutput() + process.readAllStandardError()};
}

// A listener process, stopped with SIGTERM as a user's Ctrl+C would.
struct Listener
{
    explicit Listener(const QStringList &extra = {}, const std::function<void()> &inChild = [] {})
    {
        process.setChildProcessModifier(inChild);
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

    // Options read in-process: what is refused, and a text that looks like an option after --.
    void parse_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("no command") << QByteArrayList{} << "no command given";
        QTest::newRow("send without address") << QByteArrayList{"send"} << "send needs an ADDRESS";
        QTest::newRow("listen option given to send")
            << QByteArrayList{"send", "127.0.0.1", "x", "--null"} << "--null is not an option of send";
        QTest::newRow("unknown cipher") << QByteArrayList{"send", "127.0.0.1", "x", "--cipher", "rc4"} << "--cipher takes";
        QTest::newRow("two texts") << QByteArrayList{"send", "127.0.0.1", "a", "b"} << "send takes one TEXT";
        QTest::newRow("text that looks like an option, after --") << QByteArrayList{"send", "127.0.0.1", "--", "--port"} << "";
        QTest::newRow("peers takes no address") << QByteArrayList{"peers", "h"} << "peers takes no arguments";
    }
    void parse()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(QString, error);
        const CliOptions options = CliOptions::Parse(arguments);
        QVERIFY2(error.isEmpty() ? options.error.isEmpty() : options.error.contains(error), qPrintable(options.error));
        if (error.isEmpty())
            QVERIFY(options.hasText && options.text == "--port" && options.port == StoredSettings::DefaultPort);
    }

    // Refusals that need the process: usage errors and what is read or checked before starting.
    void refusedAtStart_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("bad option") << QStringList{"send", "127.0.0.1", "--fast"} << QByteArray("Unknown option");
        QTest::newRow("missing password file")
            << QStringList{"send", "127.0.0.1", "a", "--password-file", "/nonexistent"} << QByteArray("password file");
        QTest::newRow("password file without end") << QStringList{"send", "127.0.0.1", "a", "--password-file", "/dev/zero"}
                                                   << QByteArray("no line end within 4096 bytes");
        QTest::newRow("save folder nothing can be created in")
            << QStringList{"listen", "--port", QString::number(FreePort()), "--save-dir", "/proc/self"}
            << QByteArray("cannot save into /proc/self");
    }
    void refusedAtStart()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, said);
        const Outcome outcome = Run(arguments);
        QCOMPARE(outcome.exitCode, 2);
        QVERIFY2(outcome.output.contains(said), outcome.output.constData());
    }

    // One row per exit code of a send; the words of each answer are the client's.
    void sendOutcome_data()
    {
        QTest::addColumn<int>("script");
        QTest::addColumn<int>("textSize"); // sent from standard input
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        using R = ScriptedReceiver;
        QTest::newRow("OK") << int(R::ReplyThenClose) << 10 << QByteArray("OK") << 0 << QByteArray();
        QTest::newRow("BUSY: try again later") << int(R::ReplyThenClose) << 10 << QByteArray("BUSY") << 3
                                               << QByteArray("not delivered: BUSY");
        QTest::newRow("no valid reply frame") << int(R::ReplyThenClose) << 10 << QByteArray(1048577, 'x') << 3
                                              << QByteArray("no complete answer");
        QTest::newRow("closes without a reply") << int(R::CloseSilently) << 10 << QByteArray() << 3
                                                << QByteArray("ended before a reply");
        QTest::newRow("empty text") << int(R::ReplyThenClose) << 0 << QByteArray("OK") << 4
                                    << QByteArray("Nothing was sent: there is nothing to send");
    }
    void sendOutcome()
    {
        QFETCH(int, script);
        QFETCH(int, textSize);
        QFETCH(QByteArray, reply);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        ScriptedReceiver receiver(static_cast<ScriptedReceiver::Script>(script), 8 + textSize, reply);
        const Outcome outcome = Run({"send", "127.0.0.1", "--port", QString::number(receiver.Port()),
                                     "--reply-timeout", "0.3"},
                                    QByteArray(textSize, 'x'));
        QCOMPARE(outcome.exitCode, exitCode);
        QVERIFY2(outcome.output.contains(said), outcome.output.constData());
        QCOMPARE(receiver.connections, exitCode == 4 ? 0 : 1);
    }

    // One text to several receivers, named "host:port": each gets it; when some did not answer
    // OK the exit code says so and the others are named.
    void sendsToSeveral()
    {
        const QByteArrayList replies{"OK", "", "NOPE"}; // empty: nothing listens there
        std::vector<std::unique_ptr<ScriptedReceiver>> receivers;
        QStringList arguments{"send", "x"};
        for (const QByteArray &reply : replies) {
            receivers.push_back(std::make_unique<ScriptedReceiver>(ScriptedReceiver::ReplyThenClose, 9, reply));
            arguments << "--to" << "127.0.0.1:" + QString::number(reply.isEmpty() ? FreePort() : receivers.back()->Port());
        }
        const Outcome outcome = Run(arguments);
        QCOMPARE(outcome.exitCode, 5);
        QVERIFY2(outcome.output.contains("1 of 3 answered OK; not: 127.0.0.1:"), outcome.output.constData());
        for (qsizetype k = 0; k < replies.size(); ++k)
            QCOMPARE(receivers[k]->received, replies[k].isEmpty() ? 0 : 9);
    }

    // Interrupted while reading a pipe left open, the hardest place to be stopped.
    void interruptedSendIsNoSuccess()
    {
        int in[2] = {-1, -1};
        QCOMPARE(::pipe(in), 0);
        QProcess process;
        process.setChildProcessModifier([&in] { ::dup2(in[0], STDIN_FILENO); });
        process.start(Cli, QStringList{"send", "127.0.0.1", "--port", QString::number(FreePort())});
        ::close(in[0]);
        QCOMPARE(::write(in[1], "abc", 3), 3);
        int unread = 3; // read by the sender: it is past its start and waits for more
        QVERIFY(QTest::qWaitFor([&] { return ::ioctl(in[1], FIONREAD, &unread) == 0 && unread == 0; }, 10000));
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        const bool ended = process.waitForFinished(3000);
        ::close(in[1]);
        QVERIFY2(ended, "still running after the signal");
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 128 + SIGINT);
    }

    // Messages from standard input, bytes unchanged; with --null a NUL after each, as a pipe
    // gets the bytes (the line end after each is the sealed sends' check).
    void listenerKeepsMessagesApartWithNull()
    {
        const QByteArrayList messages{"two\nlines", "\x01\xff\xfe\x1b[2J\r\n"}; // not text at all
        Listener listener({"--null"});
        QVERIFY(listener.started);
        for (const QByteArray &message : messages)
            QCOMPARE(Run({"send", "127.0.0.1", "--port", QString::number(listener.port)}, message).exitCode, 0);
        const QByteArray printed = messages.join('\0') + '\0';
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
        Listener listener({}, [slave] { ::dup2(slave, STDOUT_FILENO); });
        ::close(slave);
        QVERIFY(listener.started);
        QCOMPARE(Run({"send", "127.0.0.1", "--port", QString::number(listener.port)}, "a\tb\x1b]0;title\x07\r\x9b").exitCode, 0);
        QByteArray shown;
        const QByteArray expected("a\tb\\x1b]0;title\\x07\\x0d\\x9b\n");
        (void)QTest::qWaitFor([&] {
            char chunk[256];
            const ssize_t got = ::read(master, chunk, sizeof chunk);
            shown.append(chunk, std::max<ssize_t>(got, 0));
            return shown.size() >= expected.size();
        }, 10000);
        ::close(master);
        QCOMPARE(shown, expected);
        QCOMPARE(listener.Stop(), 0);
    }

    // "OK" means the text is on disk; otherwise the sender hears why not and the listener goes
    // on. A file size limit (the other failures are the archive's rows) must not kill it either.
    void saveFailureIsRefused()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("saved");
        QVERIFY(QDir().mkdir(folder));
        Listener listener({"--save-dir", folder}, [] {
            const rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        QVERIFY(listener.started);
        const Outcome refused = Run({"send", "127.0.0.1", "--port", QString::number(listener.port)}, QByteArray(10000, 'x'));
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.output.contains("NOTSAVED (the receiver could not save the message"), refused.output.constData());
        QTRY_VERIFY2((listener.log += listener.process.readAllStandardError()).contains("Error: not saved as "),
                     listener.log.constData());
        const QStringList left = QDir(folder).entryList({"*.txt", "*.part"}, QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' '))); // not even a part of it

        // Still serving: a message within the limit is kept, on disk when "OK" comes.
        CZaridoDovoClient client;
        QSignalSpy sent(&client, &CZaridoDovoClient::MessageSent);
        QStringList keptAtOk;
        connect(&client, &CZaridoDovoClient::MessageSent, this, [&] { keptAtOk = QDir(folder).entryList({"*.txt"}, QDir::Files); });
        client.SendMessage("127.0.0.1", listener.port, "small");
        QTRY_COMPARE(sent.size(), 1);
        QCOMPARE(keptAtOk.size(), 1);
        QCOMPARE(TestFiles::Read(QDir(folder).filePath(keptAtOk.first())), QByteArray("small\r\n"));
        QCOMPARE(listener.Stop(), 0);
    }

    void sealedSendsAcrossRuns()
    {
        QTemporaryDir dir;
        QVERIFY(TestFiles::Write(dir.filePath("password"), "open sesame\n"));
        Listener listener({"--secure-only", "--password-file", dir.filePath("password")});
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
        QCOMPARE(listener.Stop(), 0);
    }

private:
    QTemporaryDir m_dataHome;
};

QTEST_GUILESS_MAIN(tst_textdropcli)
#include "tst_textdropcli.moc"
