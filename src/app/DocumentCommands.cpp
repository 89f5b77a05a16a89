#include "app/DocumentCommands.h"

#include "app/Board.h"
#include "core/TextBytes.h"
#include "core/SaveWholeFile.h"
#include "desktop/cDialog.h"

namespace {

QString DocumentFilter()
{
    const QChar nul(u'\0');
    return DocumentCommands::tr("Text Files (*.txt)") + nul + QStringLiteral("*.txt") + nul
           + DocumentCommands::tr("All Files (*.*)") + nul + QStringLiteral("*.*") + nul;
}

} // namespace

DocumentCommands::DocumentCommands(Board *board, ShowMessageFunction showMessage, QObject *parent)
    : QObject(parent)
    , m_board(board)
    , m_showMessage(std::move(showMessage))
{
}

void DocumentCommands::NewDocument()
{
    m_board->Clear();
    emit StatusChanged(tr("New Document"));
}

void DocumentCommands::OpenDocument()
{
    QString name;
    const QString path =
        cDialog().GetOpenName(m_board->window(), name, QString(), tr("Load Document"), DocumentFilter(), QString());
    if (!path.isEmpty())
        LoadFile(path, false);
}

void DocumentCommands::SaveDocument()
{
    QString name = QStringLiteral("untitled.txt");
    const QString path = cDialog().GetSaveName(m_board->window(), name, QString(), tr("Save Document"),
                                               DocumentFilter(), QStringLiteral("txt"));
    if (path.isEmpty())
        return;

    // The old file stays whole until the new one is complete; a read-only file is refused.
    QString reason;
    if (!SaveWholeFile(path, EncodeBoardText(m_board->Text()) + "\r\n", &reason, true)) {
        m_showMessage(reason, QMessageBox::Information);
        emit StatusChanged(tr("Error saving ") + path);
        return;
    }
    emit StatusChanged(tr("Saved ") + path);
}

void DocumentCommands::LoadDropped(const QStringList &paths)
{
    m_board->activateWindow();
    for (const QString &path : paths)
        LoadFile(path, true); // a failed load leaves its "Error loading " line standing
}

bool DocumentCommands::LoadFile(const QString &path, bool append)
{
    QByteArray bytes;
    if (const QString error = Board::ReadDocument(path, bytes); !error.isEmpty()) {
        m_showMessage(error, QMessageBox::Information);
        emit StatusChanged(tr("Error loading ") + path);
        return false;
    }
    const QString text = DecodeText(bytes);
    m_board->SetText(append ? m_board->Text() + text : text);
    emit StatusChanged(tr("Loaded ") + path);
    return true;
}
