#pragma once

class QDialog;

// Runs the program's modal dialogs and windows: file and colour dialogs, message boxes, the
// settings, address picker and about windows. The ordinary runner calls QDialog::exec; a test
// installs a runner of its own that plays the user's part and answers at once.
class cDialogRunner
{
public:
    virtual ~cDialogRunner() = default;

    // Shows the dialog modally and returns its result code, as QDialog::exec does.
    virtual int Exec(QDialog &dialog);

    // The runner in use: the one installed last, or the ordinary one.
    static cDialogRunner &Current();
    // The runner is not owned and must outlive its installation; nullptr restores the ordinary one.
    static void Install(cDialogRunner *runner);
};
