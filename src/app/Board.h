#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>

// The board: the text to send or the text received. It takes dropped file lists (never
// dragged text), lays out very long lines without wrapping them, and shows a character piled
// under a great many accents by its start only.
class Board : public QPlainTextEdit
{
    Q_OBJECT

public:
    // The largest document the board takes; a bigger file would hold the window for minutes.
    static constexpr qint64 DocumentLimit = qint64(64) * 1024 * 1024;
    // Wrapping a line this long costs far more than the user gains from it.
    static constexpr qsizetype LongestWrappedLine = 16 * 1024;
    // A grapheme cluster longer than this many UTF-16 units (a letter under thousands of
    // accents) is shown by its start: shaping one cluster costs far more than its length,
    // a mebibyte of them held the window for tens of seconds.
    static constexpr qsizetype LongestShownCluster = 32;

    explicit Board(QWidget *parent = nullptr);

    // Replaces the text; a text with a line longer than LongestWrappedLine is shown unwrapped.
    void SetText(const QString &text);
    // The board's text as set, even where it is shown shortened; once the user edits it, what
    // the board shows. Sending, copying and saving take this.
    QString Text() const;
    // Some cluster of Text() is shown by its start only.
    bool Shortened() const { return !m_whole.isNull(); }

    // An arrival replaces the text. Text the user typed and has not sent is returned (empty
    // when there is none) and kept: Undo brings it back while the arrival is not yet edited.
    QString Receive(const QString &text);
    // The text now on the board went out: it is no longer a draft.
    void MarkSent();
    // The board's own undo, or after an arrival the draft it replaced. False: nothing to undo.
    bool Undo();
    // The board's own redo, or after a draft was brought back the text it had replaced.
    bool Redo();

    // The buttons under the board: Clear empties it as an arrival of nothing would, keeping
    // the user's unsent text as a draft, and gives it the focus; CopyAll puts the
    // whole text (not only the selection) on the clipboard; PasteClipboard replaces the
    // selection with the clipboard's text, with nothing when it holds none.
    void Clear();
    void CopyAll() const;
    void PasteClipboard();

signals:
    // Ctrl+Enter.
    void SendRequested();
    // The user's unsent text was replaced (by an arrival, Clear or a new document) and kept as
    // the draft Undo brings back.
    void DraftKept(const QString &text);
    // Files (not folders) dropped on the board, in the order of the drop.
    void FilesDropped(const QStringList &paths);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    QString m_draft;
    QString m_undone;       // what bringing back the draft replaced, for Redo
    QString m_whole;        // the text set, while the board shows it shortened
    bool m_setting = false; // SetText is replacing the document
};
