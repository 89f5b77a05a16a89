#include "desktop/cDialogRunner.h"

#include <QDialog>

namespace {

cDialogRunner *installed = nullptr;

} // namespace

int cDialogRunner::Exec(QDialog &dialog)
{
    return dialog.exec();
}

cDialogRunner &cDialogRunner::Current()
{
    static cDialogRunner ordinary;
    return installed ? *installed : ordinary;
}

void cDialogRunner::Install(cDialogRunner *runner)
{
    installed = runner;
}
