#include "WindowTestHome.h"
#include "app/Translations.h"
#include "app/frmMain.h"

#include <QMenu>

// The window speaks the system's language: German, as LANG says (no generated locale needed).
class tst_Translations : public QObject
{
    Q_OBJECT

public:
    static void initMain()
    {
        for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
            qunsetenv(name);
        qputenv("LANG", "de_DE.UTF-8");
        WindowTestHome::Enter();
    }

private slots:
    void menusInTheSystemLanguage()
    {
        const Translations language(QLocale::system());
        QTemporaryDir program;
        frmMain window({[](const QString &, QMessageBox::Icon) {}, frmMain::TrayPresence::Absent, program.path(), 0,
                        program.filePath(QStringLiteral("history.sqlite"))});
        QStringList titles;
        for (const char *menu : {"mnuFile", "mnuEdit", "mnuTools", "mnuHelp"})
            titles << window.findChild<QMenu *>(QLatin1String(menu))->title();
        QCOMPARE(titles, (QStringList{"&Datei", "&Bearbeiten", "E&xtras", "&Hilfe"}));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen")); // Qt's own
    }
};

QTEST_MAIN(tst_Translations)
#include "tst_Translations.moc"
