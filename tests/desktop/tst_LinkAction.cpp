#include "desktop/LinkAction.h"

#include <QDesktopServices>
#include <QLabel>
#include <QTest>
#include <QUrl>

// The colours of each code are constants; what is checked is that following opens the link.
class tst_LinkAction : public QObject
{
    Q_OBJECT

public slots:
    // Stands in for the desktop's browser.
    void open(const QUrl &url) { m_opened.append(url); }

private slots:
    void followOpensTheTaggedLink()
    {
        const QUrl target("https://textdrop.example.org/");
        QDesktopServices::setUrlHandler("https", this, "open");
        QLabel label("example");
        label.setProperty(HTMLLink::TagProperty, target.toString());
        for (int action : {1, 4, 2, 3, 0, 5, 2}) // codes 2 follow; 0 and 5 are none
            LinkAction(&label, action);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(m_opened, QList<QUrl>(2, target));
    }

private:
    QList<QUrl> m_opened;
};

QTEST_MAIN(tst_LinkAction)
#include "tst_LinkAction.moc"
