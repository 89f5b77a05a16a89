#include "TextdropVersion.h"
#include "windows/frmAbout.h"

#include <QDesktopServices>
#include <QLabel>
#include <QTest>
#include <QUrl>

class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class tst_frmAbout : public QObject
{
    Q_OBJECT

private slots:
    void captionAndTitle();
    void linksFollowTheMouse();
};

namespace {

bool IsRed(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText) == QColor(255, 0, 0) && label->font().underline();
}

bool IsPlain(const QLabel *label, const QColor &color)
{
    return label->palette().color(QPalette::WindowText) == color && !label->font().underline();
}

} // namespace

void tst_frmAbout::captionAndTitle()
{
    frmAbout window;
    QCOMPARE(window.windowTitle(), QString("About Textdrop"));
    // The one version number of the project, as the build gives it.
    QCOMPARE(window.findChild<QLabel *>("lblTitle")->text(), QString("Textdrop v" TEXTDROP_VERSION));
    QCOMPARE(window.findChild<QLabel *>("lblMailTo")->property("Tag").toString(),
             QString("mailto:") + frmAbout::MakerMail);
    QCOMPARE(window.findChild<QLabel *>("lblQuillsoft")->property("Tag").toString(), frmAbout::MakerSite);
}

void tst_frmAbout::linksFollowTheMouse()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("mailto", &catcher, "open");
    const QColor blue(0, 0, 255), purple(128, 0, 128);

    frmAbout window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *site = window.findChild<QLabel *>("lblQuillsoft");
    auto *mail = window.findChild<QLabel *>("lblMailTo");
    QVERIFY(IsPlain(site, blue) && IsPlain(mail, blue));

    QTest::mouseMove(&window, site->geometry().center());
    QTRY_VERIFY(IsRed(site));
    QVERIFY(IsPlain(mail, blue));

    // Straight from one link onto the other: only one is ever red.
    QTest::mouseMove(&window, mail->geometry().center());
    QTRY_VERIFY(IsRed(mail));
    QVERIFY(IsPlain(site, blue));

    QTest::mouseClick(mail, Qt::LeftButton, {}, mail->rect().center());
    QCOMPARE(mail->palette().color(QPalette::WindowText), purple);
    QCOMPARE(catcher.opened, QList<QUrl>{QUrl("mailto:" + frmAbout::MakerMail)});

    // The background is the window's own corner, clear of every control.
    QTest::mouseMove(&window, QPoint(2, window.height() - 2));
    QTRY_VERIFY(IsPlain(mail, blue));
    QVERIFY(IsPlain(site, blue));
    QDesktopServices::unsetUrlHandler("mailto");
}

QTEST_MAIN(tst_frmAbout)
#include "tst_frmAbout.moc"
