#include "desktop/CTray.h"

#include <QTest>

class tst_CTray : public QObject
{
    Q_OBJECT

private slots:
    void tipTextKeepsAtMost63Characters()
    {
        CTray tray;
        tray.SetTipText(QString(63, u'a'));
        QCOMPARE(tray.TipText(), QString(63, u'a'));
        tray.SetTipText(QString(63, u'b') + u'c');
        QCOMPARE(tray.TipText(), QString(63, u'b'));
    }
};

QTEST_MAIN(tst_CTray)
#include "tst_CTray.moc"
