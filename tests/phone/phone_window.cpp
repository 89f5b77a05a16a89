// The program's window for the browser test, driven over standard input and output:
// prints "LINK <url>" once pairing is offered, allows the phone that asks, prints
// "BOARD <text>" when the board changes and "STATUS <text>" for the status line; reads
// "SEND <text>" to send the text to the paired phone as the user would. A second argument
// names a PNG file for a picture of the pairing window. Notifications are printed as
// "NOTIFIED <summary> <body>"; at the end, "HISTORY <direction> <peer>" for each message kept
// and "ADDRESSES <remembered addresses>".
#include "TestFiles.h"
#include "WindowTestHome.h"
#include "app/AppController.h"
#include "app/MessageDesk.h"
#include "app/frmMain.h"
#include "core/HistoryStore.h"
#include "desktop/DesktopNotifier.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    WindowTestHome::Enter();
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent"); // notifications come here
    QApplication app(argc, argv);
    const quint16 port = quint16(QCoreApplication::arguments().value(1).toUShort());
    QTextStream out(stdout);
    const auto say = [&out](const QString &line) { out << line << Qt::endl; };

    QTemporaryDir program;
    frmMain window(frmMain::Environment{[&](const QString &text, QMessageBox::Icon) { say(QStringLiteral("MESSAGE ") + text); },
                                        frmMain::TrayPresence::Absent, program.path(), 0,
                                        program.filePath(QStringLiteral("history.sqlite")), port});
    window.show();
    for (auto *notifier : window.findChildren<DesktopNotifier *>())
        QObject::connect(notifier, &DesktopNotifier::Unavailable,
                         [&](const QString &summary, const QString &body) { say(QStringLiteral("NOTIFIED %1 %2").arg(summary, body)); });
    auto *board = window.findChild<QPlainTextEdit *>(QStringLiteral("txtBoard"));
    auto *status = window.findChild<QLabel *>(QStringLiteral("lblStatus"));
    QObject::connect(board, &QPlainTextEdit::textChanged, [&] { say(QStringLiteral("BOARD ") + board->toPlainText()); });

    window.findChild<QAction *>(QStringLiteral("mnuToolsItem5"))->trigger();
    auto *link = window.findChild<QLabel *>(QStringLiteral("pairingLink"));
    if (!link)
        return 1;
    say(QStringLiteral("LINK ") + link->text());
    if (const QString picture = QCoreApplication::arguments().value(2); !picture.isEmpty())
        window.findChild<QWidget *>(QStringLiteral("frmPairPhone"))->grab().save(picture);

    // Allows the phone that asks, as the user would; reports the status line as it changes.
    QString shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto *asks = window.findChild<QMessageBox *>(QStringLiteral("phoneAsks"))) {
            say(QStringLiteral("ASKED ") + asks->text().simplified());
            asks->button(QMessageBox::Yes)->click();
        }
        if (status->text() != shown)
            say(QStringLiteral("STATUS ") + (shown = status->text()));
    });
    watch.start(50);

    QSocketNotifier input(fileno(stdin), QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[4096];
        if (!std::fgets(line, sizeof line, stdin))
            return QCoreApplication::exit(0); // quit() would ask the window, which only hides
        const QString command = QString::fromUtf8(line).trimmed();
        if (command.startsWith(QLatin1String("SEND "))) {
            auto *box = window.findChild<QComboBox *>(QStringLiteral("cmbIP"));
            say(QStringLiteral("TO ") + box->currentText());
            board->setPlainText(command.mid(5));
            window.findChild<QPushButton *>(QStringLiteral("cmdSend"))->click();
        }
    });
    const int result = app.exec();
    HistoryStore history;
    history.Open(window.Desk().HistoryFile());
    for (const HistoryStore::Entry &entry : history.Page({}, 0, 100))
        say(QStringLiteral("HISTORY %1 %2").arg(int(entry.direction)).arg(entry.peer));
    const QByteArray addresses = TestFiles::Read(window.Controller().Run().AddressFile); // "<unreadable>" when none
    say(QStringLiteral("ADDRESSES ") + QString::fromUtf8(addresses).simplified());
    return result;
}
