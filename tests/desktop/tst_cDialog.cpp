#include "FakeDialogRunner.h"
#include "desktop/cDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>

class tst_cDialog : public QObject
{
    Q_OBJECT

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
};

QTEST_MAIN(tst_cDialog)
#include "tst_cDialog.moc"
