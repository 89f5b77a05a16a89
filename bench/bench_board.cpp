// A large message received by the window: from the send until the sender has its "OK" and the
// window has painted the board. The window runs on the platform Qt picks (offscreen unless
// QT_QPA_PLATFORM says otherwise), with its settings and lock in a temporary home.
#include "app/AppController.h"
#include "app/frmMain.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// Seconds from the send to the answer, and to the board painted; -1 when it did not arrive.
// The processor time of both ends is given too: other work on the machine does not count in it.
// Stalled: the longest the event loop went without turning (a 5 ms timer's longest gap), the
// time the window did not respond and no other sender was answered.
struct Figures
{
    double answered = -1;
    double painted = -1;
    double cpu = -1;
    double stalled = -1;
};

double CpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

Figures Receive(frmMain &window, const QByteArray &message)
{
    CZaridoDovoClient sender;
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&sender, &CZaridoDovoClient::MessageSent, &loop, [&] { ok = true, loop.quit(); });
    QObject::connect(&sender, &CZaridoDovoClient::MessageError, &loop, &QEventLoop::quit);
    QObject::connect(&sender, &CZaridoDovoClient::Error, &loop, &QEventLoop::quit);
    QTimer::singleShot(600 * 1000, &loop, &QEventLoop::quit); // bounded, whatever happens

    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestGap = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, &heartbeat, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
    heartbeat.start(5);
    const double cpuAtStart = CpuSeconds();
    sender.SendMessage(QStringLiteral("127.0.0.1"), window.Controller().Server()->LocalPort(), message);
    loop.exec();
    Figures figures;
    if (!ok)
        return figures;
    figures.answered = clock.nsecsElapsed() / 1e9;
    window.findChild<QPlainTextEdit *>(QStringLiteral("txtBoard"))->viewport()->repaint();
    figures.painted = clock.nsecsElapsed() / 1e9;
    // Whatever the window still does after the answer (a deferred layout) counts in the stall.
    QTimer::singleShot(500, &loop, &QEventLoop::quit);
    loop.exec();
    figures.cpu = CpuSeconds() - cpuAtStart;
    figures.stalled = std::max(longestGap, sinceTick.elapsed()) / 1e3;
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, home.path().toUtf8());
    QApplication app(argc, argv);

    frmMain::Environment surroundings;
    surroundings.ShowMessage = [](const QString &, QMessageBox::Icon) {};
    surroundings.Tray = frmMain::TrayPresence::Absent;
    surroundings.ProgramFolder = home.path();
    frmMain window(surroundings);
    window.Controller().AppSettings().Stored.ServerIP = QStringLiteral("127.0.0.1");
    window.Controller().AppSettings().Stored.ServerPort = 0;
    window.show();
    window.StartServer();

    const qsizetype mebibyte = 1024 * 1024;
    QByteArray lines;
    while (lines.size() < mebibyte)
        lines += "The quick brown fox jumps over the lazy dog, again and again and again.\r\n";
    lines.truncate(mebibyte);
    // One letter and then accents (U+0301): a single grapheme cluster of a mebibyte.
    QByteArray accents("e");
    while (accents.size() + 2 <= mebibyte)
        accents += "\xcc\x81";
    // The largest clusters the board shows whole, one after another.
    QByteArray piles;
    while (piles.size() + 63 <= mebibyte)
        piles += "e" + QByteArray("\xcc\x81").repeated(31);
    QByteArray accented;
    while (accented.size() + 3 <= mebibyte)
        accented += "a\xcc\x81";
    const struct
    {
        const char *name;
        QByteArray message;
    } cases[] = {
        {"1 MiB, one unbroken line", QByteArray(mebibyte, 'q')},
        {"1 MiB, lines of 72 characters", lines},
        {"64 KiB, one unbroken line", QByteArray(64 * 1024, 'q')},
        {"1 MiB, one unbroken line again", QByteArray(mebibyte, 'r')},
        {"1 MiB, one letter and accents", accents},
        {"1 MiB, accented letters", accented},
        {"1 MiB, letters under 31 accents", piles},
    };
    std::printf("%-32s %12s %12s %12s %12s\n", "message", "answered", "painted", "cpu", "stalled");
    // A word on the command line runs only the cases whose name holds it.
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    for (const auto &c : cases) {
        if (!QString::fromLatin1(c.name).contains(only))
            continue;
        const Figures figures = Receive(window, c.message);
        std::printf("%-32s %10.3f s %10.3f s %10.3f s %10.3f s\n", c.name, figures.answered, figures.painted, figures.cpu,
                    figures.stalled);
        std::fflush(stdout);
    }
    return 0;
}
