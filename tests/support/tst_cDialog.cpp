#include "FakeDialogRunner.h"
#include "support/cDialog.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString DocumentFilter = QStringLiteral("Text Files (*.txt)") + QChar(u'\0') + "*.txt" + QChar(u'\0')
                               + "All Files (*.*)" + QChar(u'\0') + "*.*" + QChar(u'\0');

// The file a user types into the dialog, then confirms.
FakeDialogRunner::Answer Choose(const QString &path)
{
    return [path](QDialog &dialog) {
        dynamic_cast<QFileDialog &>(dialog).selectFile(path);
        return int(QDialog::Accepted);
    };
}

FakeDialogRunner::Answer Cancel()
{
    return [](QDialog &) { return int(QDialog::Rejected); };
}

QSettings ColorStore()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Textdrop", "Temp");
}

} // namespace

class tst_cDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nameFilters_data();
    void nameFilters();
    void saveAppendsTheDefaultExtension();
    void saveCancelledKeepsTheProposedName();
    void openCancelledEmptiesTheName();
    void openMissingFileAsksBeforeReturningIt();
    void pickColorKeepsTheCustomColors();

private:
    QTemporaryDir m_config;
    QTemporaryDir m_files;
};

void tst_cDialog::initTestCase()
{
    // The settings store of this run lives in a throw-away folder.
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
    QVERIFY(m_files.isValid());
}

void tst_cDialog::nameFilters_data()
{
    const QChar nul(u'\0');
    QTest::addColumn<QString>("pairs");
    QTest::addColumn<QStringList>("filters");
    QTest::newRow("document filter; *.* means every file")
        << DocumentFilter << QStringList{"Text Files (*.txt)", "All Files (*)"};
    QTest::newRow("several patterns in one pair") << QString("Pictures" + QString(nul) + "*.png;*.jpg" + nul)
                                                  << QStringList{"Pictures (*.png *.jpg)"};
    QTest::newRow("no final NUL") << QString("Text" + QString(nul) + "*.txt") << QStringList{"Text (*.txt)"};
    QTest::newRow("description without a pattern dropped")
        << QString("Text" + QString(nul) + "*.txt" + nul + "Orphan" + nul) << QStringList{"Text (*.txt)"};
    QTest::newRow("empty") << QString() << QStringList{};
}

void tst_cDialog::nameFilters()
{
    QFETCH(QString, pairs);
    QFETCH(QStringList, filters);
    QCOMPARE(cDialog::NameFilters(pairs), filters);
}

void tst_cDialog::saveAppendsTheDefaultExtension()
{
    FakeDialogRunner runner;
    bool asksBeforeReplacing = false;
    runner.Queue([&](QDialog &dialog) {
        auto &files = dynamic_cast<QFileDialog &>(dialog);
        asksBeforeReplacing = !files.testOption(QFileDialog::DontConfirmOverwrite);
        return Choose(m_files.filePath("notes"))(dialog);
    });
    QString name = "untitled.txt";
    const QString path = cDialog().GetSaveName(nullptr, name, m_files.path(), "Save Document", DocumentFilter, "txt");
    QCOMPARE(path, QDir::toNativeSeparators(m_files.filePath("notes.txt")));
    QCOMPARE(name, QString("notes.txt"));
    QVERIFY(asksBeforeReplacing);
}

void tst_cDialog::saveCancelledKeepsTheProposedName()
{
    FakeDialogRunner runner;
    QString proposedInDialog;
    runner.Queue([&](QDialog &dialog) {
        // The dialog shows the proposal with the default extension it would add.
        proposedInDialog = QFileInfo(dynamic_cast<QFileDialog &>(dialog).selectedFiles().value(0)).completeBaseName();
        return int(QDialog::Rejected);
    });
    const QString longName = QString(600, 'n');
    QString name = longName;
    QCOMPARE(cDialog().GetSaveName(nullptr, name, m_files.path(), "Save Document", DocumentFilter, "txt"), QString());
    QCOMPARE(name, longName);
    QCOMPARE(proposedInDialog, QString(cDialog::ProposedNameLimit, 'n'));
}

void tst_cDialog::openCancelledEmptiesTheName()
{
    FakeDialogRunner runner;
    runner.Queue(Cancel());
    QString name = "before.txt";
    QCOMPARE(cDialog().GetOpenName(nullptr, name, m_files.path(), "Load Document", DocumentFilter, "default.txt"),
             QString());
    QCOMPARE(name, QString());
    QVERIFY(runner.AllAnswered());
}

void tst_cDialog::openMissingFileAsksBeforeReturningIt()
{
    const QString missing = m_files.filePath("new.txt");
    FakeDialogRunner runner;
    // Declined: the dialog comes back on the same name, and is then cancelled.
    QString proposedAgain;
    runner.Queue(Choose(missing));
    runner.Queue(FakeDialogRunner::Click(QMessageBox::No));
    runner.Queue([&](QDialog &dialog) {
        proposedAgain = dynamic_cast<QFileDialog &>(dialog).selectedFiles().value(0);
        return int(QDialog::Rejected);
    });
    QString name;
    QCOMPARE(cDialog().GetOpenName(nullptr, name, m_files.path(), "Load Document", DocumentFilter, ""), QString());
    QCOMPARE(QFileInfo(proposedAgain).fileName(), QString("new.txt"));
    QCOMPARE(runner.messages.size(), std::size_t(1));
    QVERIFY(runner.messages[0].text.contains("new.txt"));

    // Agreed: the name comes back, and the dialog has created nothing.
    runner.Queue(Choose(missing));
    runner.Queue(FakeDialogRunner::Click(QMessageBox::Yes));
    QCOMPARE(cDialog().GetOpenName(nullptr, name, m_files.path(), "Load Document", DocumentFilter, ""),
             QDir::toNativeSeparators(missing));
    QCOMPARE(name, QString("new.txt"));
    QVERIFY(!QFileInfo::exists(missing));

    // An existing file is returned without a question.
    QFile existing(m_files.filePath("old.txt"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.close();
    runner.Queue(Choose(existing.fileName()));
    QCOMPARE(cDialog().GetOpenName(nullptr, name, m_files.path(), "Load Document", DocumentFilter, ""),
             QDir::toNativeSeparators(existing.fileName()));
    QCOMPARE(runner.messages.size(), std::size_t(2));
    QVERIFY(runner.AllAnswered());
}

void tst_cDialog::pickColorKeepsTheCustomColors()
{
    // An empty store starts with 16 black custom colours and ends with all 16 stored.
    ColorStore().remove("CustomColors");
    FakeDialogRunner runner;
    int blackOnOpen = 0;
    runner.Queue([&](QDialog &dialog) {
        for (int i = 0; i < cDialog::CustomColorCount; ++i)
            blackOnOpen += QColorDialog::customColor(i) == QColor(Qt::black) ? 1 : 0;
        QColorDialog::setCustomColor(3, QColor(255, 0, 0));
        auto &colors = dynamic_cast<QColorDialog &>(dialog);
        colors.setCurrentColor(QColor(0x12, 0x34, 0x56));
        colors.accept();
        return colors.result();
    });
    QCOMPARE(cDialog().PickColor(), 0x563412);
    QCOMPARE(blackOnOpen, cDialog::CustomColorCount);
    {
        QSettings store = ColorStore();
        store.beginGroup("CustomColors");
        QCOMPARE(store.childKeys().size(), cDialog::CustomColorCount);
        QCOMPARE(store.value("3").toString(), QString("255")); // red as 0x00BBGGRR
        QCOMPARE(store.value("15").toString(), QString("0"));
    }

    // Cancelled: -1, and the colours edited in the dialog are stored all the same.
    QColor third;
    runner.Queue([&](QDialog &) {
        third = QColorDialog::customColor(3);
        QColorDialog::setCustomColor(9, QColor(0, 0, 255));
        return int(QDialog::Rejected);
    });
    QCOMPARE(cDialog().PickColor(), -1);
    QCOMPARE(third, QColor(255, 0, 0));
    QSettings store = ColorStore();
    store.beginGroup("CustomColors");
    QCOMPARE(store.value("9").toString(), QString::number(0xFF0000));
}

QTEST_MAIN(tst_cDialog)
#include "tst_cDialog.moc"
