#include "desktop/cDialog.h"

#include "TextdropVersion.h"
#include "desktop/cDialogRunner.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>

namespace {

QString PatternsForQt(const QString &pattern)
{
    QStringList patterns;
    const QStringList parts = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString trimmed = part.trimmed();
        if (trimmed.isEmpty())
            continue;
        patterns.append(trimmed == QLatin1String("*.*") ? QStringLiteral("*") : trimmed);
    }
    return patterns.join(QLatin1Char(' '));
}

QString ChosenPath(const QFileDialog &dialog)
{
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : QDir::toNativeSeparators(files.first());
}

void ApplyFilters(QFileDialog &dialog, const QString &pairs)
{
    const QStringList filters = cDialog::NameFilters(pairs);
    if (filters.isEmpty())
        return;
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.first());
}

} // namespace

QString cDialog::GetSaveName(QWidget *owner, QString &Filename, const QString &InitialDir,
                             const QString &WindowTitle, const QString &FilterStr, const QString &DefaultExt)
{
    QFileDialog dialog(owner, WindowTitle);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    ApplyFilters(dialog, FilterStr);
    dialog.setDefaultSuffix(DefaultExt);
    if (!InitialDir.isEmpty())
        dialog.setDirectory(InitialDir);
    if (!Filename.isEmpty())
        dialog.selectFile(Filename.left(ProposedNameLimit));

    if (cDialogRunner::Current().Exec(dialog) != QDialog::Accepted)
        return {};
    const QString path = ChosenPath(dialog);
    if (!path.isEmpty())
        Filename = QFileInfo(path).fileName();
    return path;
}

QString cDialog::GetOpenName(QWidget *owner, QString &Filename, const QString &DefaultDir,
                             const QString &WindowTitle, const QString &Filters, const QString &DefaultFileName)
{
    QString proposed = DefaultFileName;
    for (;;) {
        QFileDialog dialog(owner, WindowTitle);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // AnyFile lets a missing name through, so that we can offer to create it below.
        dialog.setFileMode(QFileDialog::AnyFile);
        // A chosen link is returned itself, not its target.
        dialog.setOption(QFileDialog::DontResolveSymlinks);
        ApplyFilters(dialog, Filters);
        dialog.setDirectory(DefaultDir.isEmpty() ? QDir::currentPath() : DefaultDir);
        if (!proposed.isEmpty())
            dialog.selectFile(proposed);

        const QString path =
            cDialogRunner::Current().Exec(dialog) == QDialog::Accepted ? ChosenPath(dialog) : QString();
        if (path.isEmpty()) {
            Filename.clear();
            return {};
        }
        const QFileInfo chosen(path);
        if (chosen.exists() || chosen.isSymLink()
            || ShowMessage(owner, path + tr("\nThis file does not exist.\nCreate the file?"),
                           QMessageBox::Question, QMessageBox::Yes | QMessageBox::No)
                   == QMessageBox::Yes) {
            Filename = chosen.fileName();
            return path;
        }
        // Declined: back to the dialog, where the user left off.
        proposed = path;
    }
}

QMessageBox::StandardButton cDialog::ShowMessage(QWidget *owner, const QString &text, QMessageBox::Icon icon,
                                                 QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, QStringLiteral(TEXTDROP_TITLE), text, buttons, owner);
    cDialogRunner::Current().Exec(box);
    QAbstractButton *clicked = box.clickedButton();
    return clicked ? box.standardButton(clicked) : QMessageBox::NoButton;
}

QStringList cDialog::NameFilters(const QString &pairs)
{
    // A trailing "(...)" of a description is replaced by the pair's own patterns in Qt's form.
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
    QStringList filters;
    const QStringList parts = pairs.split(QChar(u'\0'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = PatternsForQt(parts[i + 1]);
        if (patterns.isEmpty())
            continue;
        QString description = parts[i];
        description.remove(trailingPatterns);
        if (description.isEmpty())
            description = patterns;
        filters.append(description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return filters;
}
