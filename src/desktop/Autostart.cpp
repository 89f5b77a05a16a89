#include "desktop/Autostart.h"

#include "TextdropVersion.h"
#include "core/WholeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The value of key in the [Desktop Entry] group, trimmed; empty when absent.
QByteArray EntryValue(const QByteArray &entry, const QByteArray &key)
{
    bool inGroup = false;
    for (const QByteArray &raw : entry.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inGroup && equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

} // namespace

Autostart::Autostart()
    : Autostart(DefaultConfigHome(), QCoreApplication::applicationFilePath())
{
}

Autostart::Autostart(const QString &configHome, const QString &program)
    : m_configHome(configHome)
    , m_program(program)
{
}

QString Autostart::DefaultConfigHome()
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configured.isEmpty() && QDir::isAbsolutePath(configured))
        return configured;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString Autostart::EntryPath() const
{
    return m_configHome + QStringLiteral("/autostart/" TEXTDROP_ID ".desktop");
}

bool Autostart::IsEnabled() const
{
    QFile file(EntryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray entry = file.readAll();
    return EntryValue(entry, "Hidden") != "true" && EntryValue(entry, "X-GNOME-Autostart-enabled") != "false";
}

bool Autostart::SetEnabled(bool enabled)
{
    const QString path = EntryPath();
    if (!enabled) {
        if (!QFileInfo::exists(path) || QFile::remove(path))
            return true;
        m_error = tr("Could not remove %1").arg(path);
        return false;
    }
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder)) {
        m_error = tr("Could not create the folder %1").arg(folder);
        return false;
    }
    WholeFile file(path);
    if (file.Save(Entry()))
        return true;
    m_error = file.errorString();
    return false;
}

QByteArray Autostart::Entry() const
{
    const QString exec = ExecArgument(m_program) + QStringLiteral(" --hidden");
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=" TEXTDROP_TITLE "\n"
                             "Comment=Receive text from other computers in the tray\n"
                             "Exec=")
        + exec.toUtf8()
        // Desktops skip the entry once the program is gone (uninstalled, or a build folder removed).
        + QByteArrayLiteral("\nTryExec=") + EscapedValue(m_program).toUtf8()
        + QByteArrayLiteral("\n"
                            "Icon=textdrop\n"
                            "Terminal=false\n"
                            "X-GNOME-Autostart-enabled=true\n");
}

QString Autostart::ExecArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = argument.isEmpty();
    for (const QChar c : argument)
        quote = quote || reserved.contains(c);

    QString quoted;
    if (quote) {
        // Inside quotes, these four take a backslash.
        quoted += QLatin1Char('"');
        for (const QChar c : argument) {
            if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        quoted += QLatin1Char('"');
    } else {
        quoted = argument;
    }

    // Then the rules of every value, and % that would start a field code.
    return EscapedValue(quoted).replace(QLatin1Char('%'), QStringLiteral("%%"));
}

QString Autostart::EscapedValue(const QString &text)
{
    QString value;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}
