#include "windows/frmLog.h"

#include <QTest>

class tst_frmLog : public QObject
{
    Q_OBJECT

private slots:
    void closeHidesUnlessTaggedEnd()
    {
        frmLog window(nullptr);
        window.show();
        QVERIFY(!window.close());
        QVERIFY(!window.isVisible());
        window.SetTag("END");
        QVERIFY(window.close());
    }
};

QTEST_MAIN(tst_frmLog)
#include "tst_frmLog.moc"
