// textdrop-cli driven as a user would: real processes on loopback.
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

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
    if (!finished.wait(20000))
        return {};
    return {process.exitCode(), process.readAllStandardOutput() + process.readAllStandardError()};
}

// A listener process, stopped with SIGTERM as a user's Ctrl+C would.
struct Listener
{
    explicit Listener(const QStringList &extra = {})
    {
        process.start(Cli, QStringList{"listen", "--address", "127.0.0.1", "--port", QString::number(port)} + extra);
        started = QTest::qWaitFor([this] { return process.readAllStandardError().contains("started on"); }, 10000);
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
};

class tst_textdropcli : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("no command") << QStringList{} << 2 << QByteArray("no command");
        QTest::newRow("send without address") << QStringList{"send"} << 2 << QByteArray("ADDRESS");
        QTest::newRow("port 0") << QStringList{"send", "127.0.0.1", "x", "--port", "0"} << 2 << QByteArray("--port");
        QTest::newRow("unknown option") << QStringList{"send", "127.0.0.1", "--fast"} << 2 << QByteArray("unknown option");
        QTest::newRow("two texts") << QStringList{"send", "127.0.0.1", "a", "b"} << 2 << QByteArray("one TEXT");
        QTest::newRow("missing password file")
            << QStringList{"send", "127.0.0.1", "a", "--password-file", "/nonexistent"} << 2 << QByteArray("password file");
        QTest::newRow("help") << QStringList{"listen", "--help"} << 0 << QByteArray("--secure-only");
        QTest::newRow("nobody listening") << QStringList{"send", "127.0.0.1", "x", "--port", QString::number(FreePort())}
                                          << 1 << QByteArray("socket error");
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

    void bytesPassThroughUnchanged()
    {
        Listener listener;
        QVERIFY(listener.started);
        const QString port = QString::number(listener.port);
        QCOMPARE(Run({"send", "127.0.0.1", "hello", "--port", port}).exitCode, 0);
        QCOMPARE(listener.Output(6), QByteArray("hello\n"));

        static const char raw[] = "\x00\x01\xff\xfe line\r\nnext \xc3\xa9"; // not text at all
        const QByteArray binary(raw, sizeof raw - 1);
        QCOMPARE(Run({"send", "127.0.0.1", "--port", port}, binary).exitCode, 0); // from standard input
        QCOMPARE(listener.Output(6 + binary.size() + 1), "hello\n" + binary + "\n");
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

        QCOMPARE(Run({"send", "127.0.0.1", "secret text", "--port", port}, {}, "open sesame").exitCode, 0);
        QCOMPARE(listener.Output(12), QByteArray("secret text\n"));
        for (const QByteArray &password : {QByteArray("wrong"), QByteArray()}) {
            const Outcome refused = Run({"send", "127.0.0.1", "not for you", "--port", port}, {}, password);
            QCOMPARE(refused.exitCode, 1);
            QVERIFY2(refused.output.contains("BAD"), refused.output.constData());
        }
        QCOMPARE(listener.Stop(), 0);
        QCOMPARE(listener.out, QByteArray("secret text\n")); // nothing undecipherable was delivered
    }
};

QTEST_GUILESS_MAIN(tst_textdropcli)
#include "tst_textdropcli.moc"
