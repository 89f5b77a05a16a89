#include "desktop/LinkAction.h"

#include <QDesktopServices>
#include <QLabel>
#include <QTest>
#include <QUrl>

class tst_LinkAction : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser.
    void open(const QUrl &url) { m_opened.append(url); }

private slots:
    void colorsThroughTheActions_data()
    {
        // The codes: 1 show as a link (blue), 2 follow (then purple), 3 mouse left, 4 mouse over (red).
        QTest::addColumn<QList<int>>("actions");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<bool>("underlined");
        QTest::newRow("followed under the mouse keeps the underline")
            << QList<int>{1, 4, 2} << QColor(Qt::darkMagenta) << true;
        QTest::newRow("followed, then over again; codes 0 and 5 change nothing")
            << QList<int>{1, 2, 4, 0, 5} << QColor(Qt::red) << true;
    }

    void colorsThroughTheActions()
    {
        QFETCH(QList<int>, actions);
        const QUrl target("https://textdrop.example.org/");
        m_opened.clear();
        QDesktopServices::setUrlHandler("https", this, "open");
        QLabel label("example");
        label.setProperty(HTMLLink::TagProperty, target.toString());
        for (int action : actions)
            LinkAction(&label, action);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(m_opened, QList<QUrl>(actions.count(2), target));
        QTEST(label.palette().color(QPalette::WindowText), "color");
        QTEST(label.font().underline(), "underlined");
    }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(tst_LinkAction)
#include "tst_LinkAction.moc"
