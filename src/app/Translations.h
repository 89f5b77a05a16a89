#pragma once

#include <QLocale>
#include <QObject>

// The program's texts and Qt's own (standard buttons, text fields' menus) in the locale's
// language, where translations exist; English otherwise. Log lines and reply words stay as
// they are. The translations leave the application with this object.
class Translations : public QObject
{
    Q_OBJECT

public:
    explicit Translations(const QLocale &locale, QObject *parent = nullptr);
};
