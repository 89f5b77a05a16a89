// textdrop-cli driven as a user would: real processes on loopback.
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QString Cli = QStringLiteral(TEXTDROP_CLI_PATH);

int FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct Outcome
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Outcome Run(const QStringList &arguments, const QByteArray &input = {}, const QProcessEnvironment &env = {})
{
    QProcess process;
    if (!env.isEmpty())
        process.setProcessEnvironment(env);
    process.start(Cli, arguments);
    process.write(input);
    process.closeWriteChannel();
    QSignalSpy finished(&process, &QProcess::finished);
    if (process.state() != QProcess::NotRunning && !finished.wait(20000))
        return {};
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// A listener process that tests talk to; stopped with SIGTERM as a user's Ctrl+C would.
class Listener
{
public:
    explicit Listener(const QStringList &extra = {}, const QProcessEnvironment &env = {})
        : port(FreePort())
    {
        if (!env.isEmpty())
            process.setProcessEnvironment(env);
        process.start(Cli, QStringList{"listen", "--address", "127.0.0.1", "--port", QString::number(port)} + extra);
    }

    bool WaitUntilListening()
    {
        return QTest::qWaitFor([this] {
            err += process.readAllStandardError();
            return err.contains("started on") || process.state() == QProcess::NotRunning;
        }, 10000) && err.contains("started on");
    }

    QByteArray WaitForOutput(qsizetype bytes)
    {
        const bool arrived = QTest::qWaitFor([&] {
            out += process.readAllStandardOutput();
            return out.size() >= bytes;
        }, 10000);
        Q_UNUSED(arrived); // the caller compares what came
        return out;
    }

    int Stop()
    {
        QSignalSpy finished(&process, &QProcess::finished);
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        if (process.state() != QProcess::NotRunning && !finished.wait(10000))
            return -1;
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QProcess process;
    int port;
    QByteArray out;
    QByteArray err;
};

} // namespace

class tst_textdropcli : public QObject
{
    Q_OBJECT

private slots:
    void badArgumentsExitWithTwo_data();
    void badArgumentsExitWithTwo();
    void helpExitsWithZero();
    void bytesPassThroughUnchanged();
    void encipheredAndRefusedSends();
    void sendToNobodyFails();
};

void tst_textdropcli::badArgumentsExitWithTwo_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("complaint");
    QTest::newRow("no command") << QStringList{} << QByteArray("no command");
    QTest::newRow("send without address") << QStringList{"send"} << QByteArray("ADDRESS");
    QTest::newRow("port 0") << QStringList{"send", "127.0.0.1", "x", "--port", "0"} << QByteArray("--port");
    QTest::newRow("port without value") << QStringList{"listen", "--port"} << QByteArray("needs a value");
    QTest::newRow("negative timeout") << QStringList{"listen", "--timeout", "-1"} << QByteArray("--timeout");
    QTest::newRow("unknown option") << QStringList{"send", "127.0.0.1", "--fast"} << QByteArray("unknown option");
    QTest::newRow("two texts") << QStringList{"send", "127.0.0.1", "a", "b"} << QByteArray("one TEXT");
    QTest::newRow("missing password file") << QStringList{"send", "127.0.0.1", "a", "--password-file", "/nonexistent"}
                                           << QByteArray("password file");
}

void tst_textdropcli::badArgumentsExitWithTwo()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, complaint);
    const Outcome outcome = Run(arguments);
    QCOMPARE(outcome.exitCode, 2);
    QVERIFY2(outcome.err.contains(complaint), outcome.err.constData());
}

void tst_textdropcli::helpExitsWithZero()
{
    for (const QString &command : {QString("send"), QString("listen")}) {
        const Outcome outcome = Run({command, "--help"});
        QCOMPARE(outcome.exitCode, 0);
        QVERIFY(outcome.out.contains("textdrop-cli send ADDRESS"));
        QVERIFY(outcome.out.contains("--secure-only"));
    }
}

void tst_textdropcli::bytesPassThroughUnchanged()
{
    Listener listener;
    QVERIFY2(listener.WaitUntilListening(), listener.err.constData());
    const QString port = QString::number(listener.port);

    const Outcome hello = Run({"send", "127.0.0.1", "hello", "--port", port});
    QCOMPARE(hello.exitCode, 0);
    QCOMPARE(listener.WaitForOutput(6), QByteArray("hello\n"));

    // Standard input, with bytes that are not text at all.
    static const char raw[] = "\x00\x01\xff\xfe line\r\nnext \xc3\xa9";
    const QByteArray binary(raw, sizeof raw - 1);
    const Outcome piped = Run({"send", "127.0.0.1", "--port", port}, binary);
    QCOMPARE(piped.exitCode, 0);
    QCOMPARE(listener.WaitForOutput(6 + binary.size() + 1), "hello\n" + binary + "\n");

    QCOMPARE(listener.Stop(), 0);
    QVERIFY(listener.err.contains("Server started on 127.0.0.1:"));
}

void tst_textdropcli::encipheredAndRefusedSends()
{
    QTemporaryDir dir;
    QFile passwordFile(dir.filePath("password"));
    QVERIFY(passwordFile.open(QIODevice::WriteOnly));
    passwordFile.write("open sesame\n");
    passwordFile.close();

    Listener listener({"--secure-only", "--password-file", passwordFile.fileName()});
    QVERIFY2(listener.WaitUntilListening(), listener.err.constData());
    const QString port = QString::number(listener.port);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TEXTDROP_PASSWORD", "open sesame");
    QCOMPARE(Run({"send", "127.0.0.1", "secret text", "--port", port}, {}, env).exitCode, 0);
    QCOMPARE(listener.WaitForOutput(12), QByteArray("secret text\n"));

    env.insert("TEXTDROP_PASSWORD", "wrong");
    const Outcome wrong = Run({"send", "127.0.0.1", "garbage?", "--port", port}, {}, env);
    QCOMPARE(wrong.exitCode, 1);
    QVERIFY2(wrong.err.contains("BAD"), wrong.err.constData());

    env.remove("TEXTDROP_PASSWORD");
    const Outcome plain = Run({"send", "127.0.0.1", "in clear", "--port", port}, {}, env);
    QCOMPARE(plain.exitCode, 1);
    QVERIFY2(plain.err.contains("BAD"), plain.err.constData());

    QCOMPARE(listener.Stop(), 0);
    QCOMPARE(listener.out, QByteArray("secret text\n")); // nothing undecipherable was delivered
}

void tst_textdropcli::sendToNobodyFails()
{
    const Outcome outcome = Run({"send", "127.0.0.1", "anyone?", "--port", QString::number(FreePort())});
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY2(outcome.err.contains("socket error"), outcome.err.constData());
}

QTEST_GUILESS_MAIN(tst_textdropcli)
#include "tst_textdropcli.moc"
