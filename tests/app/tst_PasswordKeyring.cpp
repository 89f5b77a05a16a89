#include "MemoryLogView.h"
#include "PrivateBus.h"
#include "app/AppController.h"
#include "desktop/PasswordKeyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// The keyring through a Secret Service of the test's own: a private session bus with an
// unlocked keyring in a temporary home.
class tst_PasswordKeyring : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    PrivateBus m_bus;
    QProcess m_keyring;
    const QString m_service = QStringLiteral("Textdrop keyring test");

    // A start with "Remember the password" chosen: what the receiver started with.
    QString StartedCaption(QString *failure)
    {
        QSettings(QStringLiteral("Textdrop"), QStringLiteral("Textdrop")).setValue(QStringLiteral("Security/RememberPassword"), true);
        MemoryLogView log;
        AppController controller(m_home.path(), 10000, m_service);
        controller.Load(&log);
        QSignalSpy started(&controller, &AppController::ServerStarted);
        QSignalSpy failed(&controller, &AppController::KeyringFailed);
        controller.StartServer(); // waits for the keyring's answer
        if (!started.wait(10000))
            return QStringLiteral("<not started>");
        *failure = failed.isEmpty() ? QString() : failed.at(0).at(0).toString();
        return started.at(0).at(0).toBool() ? started.at(0).at(2).toString() : QStringLiteral("<failed>");
    }

private slots:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
        if (daemon.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("needs gnome-keyring-daemon and dbus-daemon for a Secret Service (scripts/install-deps installs them)");
        for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            qputenv(name, m_home.path().toUtf8());
        QSettings(QStringLiteral("Textdrop"), QStringLiteral("Textdrop")).setValue(QStringLiteral("Settings/ServerIP"), QStringLiteral("127.0.0.1"));
        QSettings(QStringLiteral("Textdrop"), QStringLiteral("Textdrop")).setValue(QStringLiteral("Settings/ServerPort"), QStringLiteral("0"));
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.address.toUtf8());
        m_keyring.start(daemon, {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        m_keyring.write("PASS");
        m_keyring.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")), 10000);
    }

    void cleanupTestCase()
    {
        m_keyring.terminate();
        m_keyring.waitForFinished(5000);
    }

    void rememberedPasswordStartsTheReceiver()
    {
        PasswordKeyring keyring(m_service);
        QSignalSpy written(&keyring, &PasswordKeyring::WriteFinished);
        keyring.Write(QStringLiteral("p\u00e4ss"));
        QVERIFY(written.wait(10000));
        QVERIFY2(written.at(0).at(0).toBool(), qPrintable(written.at(0).at(1).toString()));
        QString failure;
        QCOMPARE(StartedCaption(&failure), QStringLiteral(" [secure, sealed]"));
        QCOMPARE(failure, QString());

        // Gone from the keyring: said so, and the start goes on without it.
        keyring.Forget();
        QTRY_COMPARE_WITH_TIMEOUT(StartedCaption(&failure), QString(), 10000);
        QVERIFY2(failure.startsWith(QStringLiteral("The remembered password could not be read from the keyring: ")), qPrintable(failure));
    }
};

QTEST_GUILESS_MAIN(tst_PasswordKeyring)
#include "tst_PasswordKeyring.moc"
