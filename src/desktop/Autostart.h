#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

// The user's log-in autostart entry (<config>/autostart/<id>.desktop, as desktops following
// the XDG autostart rules read it), which starts the program hidden in the tray. The entry is
// the setting itself: nothing else records whether the program starts at log-in.
class Autostart
{
    Q_DECLARE_TR_FUNCTIONS(Autostart)

public:
    // For the running program: the user's configuration folder and this program file.
    Autostart();
    // program is run as `program --hidden`; configHome replaces the user's ~/.config.
    Autostart(const QString &configHome, const QString &program);

    // XDG_CONFIG_HOME when it holds an absolute path, otherwise ~/.config.
    static QString DefaultConfigHome();

    QString EntryPath() const;
    // The entry exists and is not switched off (Hidden=true, or the GNOME key set to false,
    // which a desktop's own start-up settings may have written into it).
    bool IsEnabled() const;
    // Writes the entry, creating its folder, or removes it; removing a missing entry succeeds.
    // False on failure, with the reason in errorString().
    bool SetEnabled(bool enabled);
    QString errorString() const { return m_error; }

    // The entry's bytes.
    QByteArray Entry() const;
    // One argument of an Exec line: quoted where needed, with the escapes desktop entries want.
    static QString ExecArgument(const QString &argument);
    // A text as a value of a desktop entry: backslashes and control characters escaped.
    static QString EscapedValue(const QString &text);

private:
    QString m_configHome;
    QString m_program;
    QString m_error;
};
