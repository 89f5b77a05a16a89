#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

Translations::Translations(const QLocale &locale, QObject *parent)
    : QObject(parent)
{
    // The program's own are built in; Qt's come with the system (qt6-translations-l10n).
    const QString qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const std::pair<QString, QString> sources[] = {{QStringLiteral("textdrop"), QStringLiteral(":/i18n")},
                                                   {QStringLiteral("qtbase"), qtFolder}};
    for (const auto &[name, folder] : sources) {
        auto *translator = new QTranslator(this);
        if (translator->load(locale, name, QStringLiteral("_"), folder))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}
