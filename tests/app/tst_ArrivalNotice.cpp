#include "PrivateBus.h"
#include "desktop/AppIcon.h"
#include "app/AppTray.h"
#include "app/ArrivalNotice.h"
#include "desktop/DesktopNotifier.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The desktop's notification service as the tests play it on a private bus.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int)
    {
        calls.append({summary, body, actions, hints});
        return uint(calls.size()) + 40;
    }
};

namespace {

// Where the service sends the user's choice of action on notification id.
void Invoke(const QDBusConnection &bus, uint id, const QString &key)
{
    QDBusMessage signal = QDBusMessage::createSignal(DesktopNotifier::ObjectPath, DesktopNotifier::Service,
                                                     QStringLiteral("ActionInvoked"));
    signal << id << key;
    QVERIFY(bus.send(signal));
}

} // namespace

class tst_ArrivalNotice : public QObject
{
    Q_OBJECT

private:
    PrivateBus m_bus;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<ArrivalNotice> m_notice;
    AppTray *m_tray = nullptr;
    FakeNotifications m_service;

    // The service's end of the bus, where the user's choices come from.
    static QDBusConnection Service() { return QDBusConnection(QStringLiteral("service")); }

    // A window with its tray icon and a notifier on the private bus.
    void Build()
    {
        m_window = std::make_unique<QWidget>();
        m_tray = new AppTray(m_window.get());
        m_tray->ShowIcon(AppIcon(), QStringLiteral("Textdrop"));
        m_notifier = std::make_unique<DesktopNotifier>(QDBusConnection(QStringLiteral("client")));
        m_notice = std::make_unique<ArrivalNotice>(m_window.get(), m_tray, m_notifier.get());
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!m_bus.address.isEmpty(), "dbus-daemon (Debian's dbus package) is needed");
        QDBusConnection service = QDBusConnection::connectToBus(m_bus.address, QStringLiteral("service"));
        QVERIFY(service.registerObject(DesktopNotifier::ObjectPath, &m_service, QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService(DesktopNotifier::Service));
        QVERIFY(QDBusConnection::connectToBus(m_bus.address, QStringLiteral("client")).isConnected());
    }

    void cleanup()
    {
        m_notice.reset();
        m_notifier.reset();
        m_window.reset();
        m_service.calls.clear();
    }

    void excerpt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("body");
        QTest::newRow("CR LF lines, first three") << "a\r\nb\r\nc\r\nd\r\n" << "a\nb\nc\u2026";
        QTest::newRow("long line cut") << QString(300, u'w') << QString(ArrivalNotice::BodyCharacters, u'w') + u'\u2026';
    }
    void excerpt()
    {
        QFETCH(QString, text);
        QTEST(ArrivalNotice::Excerpt(text), "body");
    }

    void actions_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("copied");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("chosen"); // on a new sender's notification
        QTest::newRow("Copy") << "copy" << true << false << "";
        QTest::newRow("Show") << "show" << false << true << "";
        QTest::newRow("the notification clicked") << "default" << false << true << "";
        QTest::newRow("unknown action") << "rm -rf" << false << false << "";
        QTest::newRow("new sender: Show") << "show-sender" << false << false << "shown 10.0.0.9";
        QTest::newRow("new sender: Block") << "block" << false << false << "blocked 10.0.0.9";
    }

    void actions()
    {
        QFETCH(QString, key);
        QFETCH(bool, copied);
        QFETCH(bool, shown);
        Build();
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        QSignalSpy show(m_notice.get(), &ArrivalNotice::ShowRequested);
        QSignalSpy invoked(m_notifier.get(), &DesktopNotifier::ActionInvoked);
        QString chosen;
        connect(m_notice.get(), &ArrivalNotice::SenderShown, this, [&](const QString &sender) { chosen = "shown " + sender; });
        connect(m_notice.get(), &ArrivalNotice::SenderBlocked, this, [&](const QString &sender) { chosen = "blocked " + sender; });
        const QByteArray text = QString::fromUtf8("whole text\r\nline 2\r\nline 3\r\nline 4 \u00e9").toUtf8();
        if (QString(QTest::currentDataTag()).startsWith("new sender"))
            m_notice->Stranger(QStringLiteral("10.0.0.9"), text);
        else
            m_notice->Arrived(QStringLiteral("10.0.0.9"), text);
        QTRY_COMPARE(m_service.calls.size(), 1);
        Invoke(Service(), 999, QStringLiteral("copy")); // someone else's notification
        Invoke(Service(), 41, key);
        QTRY_COMPARE(invoked.size(), 1);
        QCOMPARE(QGuiApplication::clipboard()->text(), copied ? QString::fromUtf8(text) : QStringLiteral("before"));
        QCOMPARE(show.size(), shown ? 1 : 0);
        QTEST(chosen, "chosen");
    }

    // Only the latest notifications keep their payloads; older ones no longer act.
    // A window the user is looking at needs no notification but a warning, and counts nothing;
    // out of sight, arrivals (with Copy and Show, markup shown as text) and refusals are told,
    // and arrivals counted, with notifications or without, until the window is shown.
    void notifiesOnlyOutOfSight()
    {
        Build();
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_notice->Arrived(QStringLiteral("10.0.0.1"), "seen");
        m_notice->Refused(QStringLiteral("10.0.0.1"), QStringLiteral("Invalid Message"));
        m_notice->Warn(QStringLiteral("History damaged"), QStringLiteral("kept aside")); // told all the same
        QCOMPARE(m_tray->Unseen(), 0);
        m_window->hide();
        m_tray->SetTip(QStringLiteral("Textdrop v0.1.49 [secure only, sealed]")); // cut, never the sender line
        m_notice->Arrived(QStringLiteral("10.0.0.9"), "<b>x</b> & y");
        QVERIFY2(m_tray->Tip().startsWith("Textdrop v0.1.49") && m_tray->Tip().contains("last from 10.0.0.9"),
                 qPrintable(m_tray->Tip()));
        m_notice->Refused(QStringLiteral("10.0.0.4"), QStringLiteral("Invalid Message"));
        for (int i = 0; i < 2; ++i)
            m_notice->Arrived(QStringLiteral("10.0.0.3"), "unseen");
        QCOMPARE(m_tray->Unseen(), 3);
        QVERIFY(m_tray->Tip().contains(QStringLiteral("3 new")));
        // Calls arrive in order: had the first ones gone out, they would come before these.
        QTRY_COMPARE(m_service.calls.size(), 5);
        QCOMPARE(m_service.calls[0].body, QStringLiteral("kept aside"));
        QCOMPARE(m_service.calls[1].summary, QStringLiteral("Message from 10.0.0.9"));
        QCOMPARE(m_service.calls[1].body, QStringLiteral("&lt;b&gt;x&lt;/b&gt; &amp; y"));
        QCOMPARE(m_service.calls[1].actions, (QStringList{"copy", "Copy", "show", "Show"}));
        QCOMPARE(m_service.calls[1].hints.value("desktop-entry").toString(), QStringLiteral("org.example.Textdrop")); // its icon and name
        QCOMPARE(m_service.calls[2].body, QStringLiteral("A message from 10.0.0.4 was refused.\nInvalid Message"));
        m_window->show();
        QCOMPARE(m_tray->Unseen(), 0);
        QVERIFY(!m_tray->Tip().contains(QStringLiteral("new")) && m_tray->Tip().contains(QStringLiteral("last from 10.0.0.3")));
        m_window->hide();
        m_notice->SetEnabled(false); // counting starts again from nothing, also without notifications
        m_notice->Arrived(QStringLiteral("10.0.0.4"), "y");
        QCOMPARE(m_tray->Unseen(), 1);
        m_notice->Warn(QStringLiteral("After"), QStringLiteral("the next call")); // calls keep their order
        QTRY_COMPARE(m_service.calls.size(), 6);
        QCOMPARE(m_service.calls[5].body, QStringLiteral("the next call"));
    }

    // Run last: the service leaves the bus.
    void fallbackWithoutService()
    {
        QVERIFY(Service().unregisterService(DesktopNotifier::Service));
        Build();
        QSignalSpy balloon(m_notice.get(), &ArrivalNotice::BalloonShown);
        QElapsedTimer clock;
        clock.start();
        m_notice->Arrived(QStringLiteral("10.0.0.5"), "for the balloon");
        QVERIFY(balloon.wait(DesktopNotifier::ReplyTimeoutMilliseconds + 2000));
        QCOMPARE(balloon[0][0].toString(), QStringLiteral("Message from 10.0.0.5"));
        QCOMPARE(balloon[0][1].toString(), QStringLiteral("for the balloon"));
        // The bus answers at once that nobody owns the name: no waiting for a time-out.
        QVERIFY(clock.elapsed() < DesktopNotifier::ReplyTimeoutMilliseconds);
    }
};

QTEST_MAIN(tst_ArrivalNotice)
#include "tst_ArrivalNotice.moc"
