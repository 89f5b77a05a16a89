#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class Board;

// The File menu's document commands on the board: new, open, save, and files dropped on it.
// Each reports on the status line through StatusChanged; failures also through a message.
class DocumentCommands : public QObject
{
    Q_OBJECT

public:
    using ShowMessageFunction = std::function<void(const QString &text, QMessageBox::Icon icon)>;

    DocumentCommands(Board *board, ShowMessageFunction showMessage, QObject *parent = nullptr);

    void NewDocument();
    void OpenDocument();
    void SaveDocument();
    // Appends the files in turn, all before any other event is handled: a message arriving
    // meanwhile replaces the board after the drop, never in the middle of it.
    void LoadDropped(const QStringList &paths);
    // Reads one file into the board, replacing its text or appending to it. On failure the
    // board keeps its text, a message gives the reason and false is returned, with errorString().
    bool LoadFile(const QString &path, bool append);
    QString errorString() const { return m_error; }

signals:
    void StatusChanged(const QString &text);

private:
    // Reads a whole document of at most Board::DocumentLimit bytes.
    bool ReadDocument(const QString &path, QByteArray &bytes);
    bool Fail(const QString &reason);

    Board *m_board;
    ShowMessageFunction m_showMessage;
    QString m_error;
};
