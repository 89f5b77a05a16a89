#pragma once

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

// The common dialogs: a file to write, a file to read; plus the program's message
// boxes. Keeps no state between calls. Every dialog runs through cDialogRunner, so tests can
// answer in the user's place.
//
// Filters come in pairs, description and pattern, each followed by a NUL character:
// "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0". Several patterns in one pair are
// separated by ";".
class cDialog
{
    Q_DECLARE_TR_FUNCTIONS(cDialog)

public:
    static constexpr int ProposedNameLimit = 512;

    // Asks for a file to write, proposing Filename (cut to 512 characters). Asks before an
    // existing file is replaced and appends DefaultExt to a name typed without an extension.
    // Returns the chosen file's full path and sets Filename to its name without the folder;
    // on cancel returns "" and leaves Filename alone.
    QString GetSaveName(QWidget *owner, QString &Filename, const QString &InitialDir = {},
                        const QString &WindowTitle = {}, const QString &FilterStr = {},
                        const QString &DefaultExt = {});

    // Asks for a file to read, starting in DefaultDir (the current folder when empty). A name
    // of a file that does not exist is returned only after the user agreed to create it; no
    // file is created here. Returns the full path and sets Filename to the name without the
    // folder; on cancel returns "" and empties Filename.
    QString GetOpenName(QWidget *owner, QString &Filename, const QString &DefaultDir = {},
                        const QString &WindowTitle = {}, const QString &Filters = {},
                        const QString &DefaultFileName = {});

    // A message box titled with the program's title. Returns the button the user chose;
    // NoButton when the box was closed some other way.
    static QMessageBox::StandardButton ShowMessage(QWidget *owner, const QString &text,
                                                   QMessageBox::Icon icon = QMessageBox::NoIcon,
                                                   QMessageBox::StandardButtons buttons = QMessageBox::Ok);

    // The pairs turned into QFileDialog name filters: "Text Files (*.txt)", "All Files (*)".
    // "*.*" means every file, as it does where the pairs come from. A description without a
    // pattern is dropped.
    static QStringList NameFilters(const QString &pairs);
};
