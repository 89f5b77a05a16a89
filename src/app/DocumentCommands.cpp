#include "app/DocumentCommands.h"

#include "app/Board.h"
#include "core/TextBytes.h"
#include "core/WholeFile.h"
#include "desktop/cDialog.h"

#include <QFile>
#include <QLocale>

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
    if (WholeFile file(path, true); !file.Save(EncodeBoardText(m_board->Text()) + "\r\n")) {
        m_showMessage(file.errorString(), QMessageBox::Information);
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
    if (!ReadDocument(path, bytes)) {
        m_showMessage(m_error, QMessageBox::Information);
        emit StatusChanged(tr("Error loading ") + path);
        return false;
    }
    const QString text = DecodeText(bytes);
    m_board->SetText(append ? m_board->Text() + text : text);
    emit StatusChanged(tr("Loaded ") + path);
    return true;
}

bool DocumentCommands::ReadDocument(const QString &path, QByteArray &bytes)
{
    const QString limit = QLocale().formattedDataSize(Board::DocumentLimit);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(file.errorString());
    if (!file.isSequential() && file.size() > Board::DocumentLimit)
        return Fail(tr("The file is too large for the board: %1, the board takes up to %2.")
                        .arg(QLocale().formattedDataSize(file.size()), limit));
    // One byte more than the limit tells a pipe or a growing file that is too large.
    bytes = file.read(Board::DocumentLimit + 1);
    if (file.error() != QFileDevice::NoError)
        return Fail(file.errorString());
    if (bytes.size() > Board::DocumentLimit)
        return Fail(tr("The file is too large for the board, which takes up to %1.").arg(limit));
    return true;
}

bool DocumentCommands::Fail(const QString &reason)
{
    m_error = reason;
    return false;
}
