#include "support/LinkAction.h"

#include <QDesktopServices>
#include <QLabel>
#include <QTest>
#include <QUrl>

// Stands in for the desktop's browser and mail program.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class tst_LinkAction : public QObject
{
    Q_OBJECT

private slots:
    void colorsThroughTheActions_data();
    void colorsThroughTheActions();
};

void tst_LinkAction::colorsThroughTheActions_data()
{
    QTest::addColumn<QList<int>>("actions");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<bool>("underlined");

    const QColor blue(0, 0, 255), red(255, 0, 0), purple(128, 0, 128);
    QTest::newRow("shown as a link") << QList<int>{1} << blue << false;
    QTest::newRow("mouse over") << QList<int>{1, 4} << red << true;
    QTest::newRow("mouse over, then left") << QList<int>{1, 4, 3} << blue << false;
    QTest::newRow("followed under the mouse keeps the underline") << QList<int>{1, 4, 2} << purple << true;
    QTest::newRow("followed, then over again") << QList<int>{1, 2, 4} << red << true;
    QTest::newRow("codes 0 and 5 change nothing") << QList<int>{1, 4, 0, 5} << red << true;
}

void tst_LinkAction::colorsThroughTheActions()
{
    QFETCH(QList<int>, actions);
    QFETCH(QColor, color);
    QFETCH(bool, underlined);

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QLabel label("example");
    label.setProperty(HTMLLink::TagProperty, "https://textdrop.example.org/");
    for (int action : actions)
        LinkAction(&label, action);
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(catcher.opened.size(), int(actions.count(HTMLLink::Follow)));

    QCOMPARE(label.palette().color(QPalette::WindowText), color);
    QCOMPARE(label.font().underline(), underlined);
}

QTEST_MAIN(tst_LinkAction)
#include "tst_LinkAction.moc"
