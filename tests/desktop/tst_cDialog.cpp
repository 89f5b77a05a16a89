#include "FakeDialogRunner.h"
#include "desktop/LinkAction.h"
#include "desktop/cDialog.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QLabel>
#include <QTest>
#include <QUrl>

class tst_cDialog : public QObject
{
    Q_OBJECT

    QList<QUrl> m_opened;

public slots:
    // Stands in for the desktop's browser.
    void open(const QUrl &url) { m_opened.append(url); }

private slots:
    void nameFilters_data()
    {
        QTest::addColumn<QString>("pairs");
        QTest::addColumn<QStringList>("filters");
        QTest::newRow("*.* means every file") << QStringLiteral("Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0")
                                              << QStringList{"Text Files (*.txt)", "All Files (*)"};
        QTest::newRow("several patterns in a pair; one without a pattern dropped; no final NUL")
            << QStringLiteral("Orphan\0\0Pictures\0*.png;*.jpg") << QStringList{"Pictures (*.png *.jpg)"};
    }

    void nameFilters()
    {
        QFETCH(QString, pairs);
        QTEST(cDialog::NameFilters(pairs), "filters");
    }

    void openAsksBeforeReturningAMissingFile()
    {
        QTemporaryDir dir;
        const QString missing = dir.filePath("new.txt");
        const auto choose = [&](QDialog &dialog) {
            dynamic_cast<QFileDialog &>(dialog).selectFile(missing);
            return int(QDialog::Accepted);
        };
        QString name = "before.txt";
        FakeDialogRunner runner;
        // Declined: the dialog comes back (and is cancelled there).
        runner.Queue(choose);
        runner.Queue(FakeDialogRunner::Click(QMessageBox::No));
        QCOMPARE(cDialog().GetOpenName(nullptr, name, dir.path()), QString());
        QCOMPARE(runner.unanswered, QStringList{"QFileDialog"});
        QCOMPARE(name, QString());
        QVERIFY(runner.messages.size() == 1 && runner.messages[0].text.startsWith(QDir::toNativeSeparators(missing)));

        // Agreed: the name comes back, and nothing has been created.
        runner.Queue(choose);
        runner.Queue(FakeDialogRunner::Click(QMessageBox::Yes));
        QCOMPARE(cDialog().GetOpenName(nullptr, name, dir.path()), QDir::toNativeSeparators(missing));
        QCOMPARE(name, QString("new.txt"));
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(runner.messages.size(), std::size_t(2));
    }

    // A link label's action codes: 2 follows the tagged link, the others do not.
    void linkActionFollowsTheTaggedLink()
    {
        const QUrl target("https://textdrop.example.org/");
        QDesktopServices::setUrlHandler("https", this, "open");
        QLabel label("example");
        label.setProperty(HTMLLink::TagProperty, target.toString());
        for (int action : {1, 4, 2, 3, 0, 5, 2})
            LinkAction(&label, action);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(m_opened, QList<QUrl>(2, target));
    }
};

QTEST_MAIN(tst_cDialog)
#include "tst_cDialog.moc"
