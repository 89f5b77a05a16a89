#include "app/Board.h"

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>

namespace {

bool HasLineLongerThan(const QString &text, qsizetype limit)
{
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        if (end - start > limit)
            return true;
        start = end + 1;
    }
    return false;
}

// The text with each grapheme cluster longer than `longest` units cut to its start (a surrogate
// pair kept whole); null when no cluster is that long.
QString ShortenClusters(const QString &text, qsizetype longest)
{
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    QString shown;
    bool cut = false;
    qsizetype copied = 0; // text before this is in `shown`, or left out
    qsizetype start = 0;
    for (qsizetype end = clusters.toNextBoundary(); end > 0; start = end, end = clusters.toNextBoundary()) {
        if (end - start <= longest)
            continue;
        qsizetype keep = start + longest;
        if (text.at(keep - 1).isHighSurrogate())
            --keep;
        if (!cut)
            shown.reserve(text.size());
        cut = true;
        shown += QStringView(text).sliced(copied, keep - copied);
        copied = end;
    }
    if (!cut)
        return {};
    shown += QStringView(text).sliced(copied);
    return shown;
}

bool CarriesFiles(const QMimeData *data)
{
    const QList<QUrl> urls = data->urls();
    return std::any_of(urls.cbegin(), urls.cend(), [](const QUrl &url) { return url.isLocalFile(); });
}

} // namespace

Board::Board(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("txtBoard"));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Edited, the board holds what it shows.
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (!m_setting)
            m_whole = m_undone = QString();
    });
}

void Board::SetText(const QString &text)
{
    const QString shortened = ShortenClusters(text, LongestShownCluster);
    const QString &shown = shortened.isNull() ? text : shortened;
    const QTextOption::WrapMode mode = HasLineLongerThan(shown, LongestWrappedLine)
                                           ? QTextOption::WrapAnywhere
                                           : QTextOption::WrapAtWordBoundaryOrAnywhere;
    m_setting = true;
    m_whole = shortened.isNull() ? QString() : text;
    clear(); // a new mode lays out the present text again: let that be nothing
    setWordWrapMode(mode);
    setPlainText(shown);
    m_setting = false;
}

QString Board::Text() const
{
    return Shortened() ? m_whole : toPlainText();
}

QMimeData *Board::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    if (!Shortened() || cursor.selectionStart() > 0 || cursor.selectionEnd() < document()->characterCount() - 1)
        return QPlainTextEdit::createMimeDataFromSelection();
    auto *data = new QMimeData; // all of it selected: all of it copied
    data->setText(m_whole);
    return data;
}

QString Board::Receive(const QString &text)
{
    // Typed since the last arrival or send, and not blank.
    const bool typed = document()->isModified() && !Text().trimmed().isEmpty();
    m_draft = typed ? Text() : QString();
    m_undone = QString();
    if (typed)
        emit DraftKept(m_draft);
    SetText(text);
    document()->setModified(false);
    return m_draft;
}

void Board::MarkSent()
{
    document()->setModified(false);
}

bool Board::Undo()
{
    if (document()->isUndoAvailable()) {
        undo();
        return true;
    }
    if (m_draft.isNull())
        return false;
    const QString replaced = Text();
    SetText(m_draft);
    document()->setModified(true); // still the user's unsent text
    m_draft = QString();
    m_undone = replaced;
    moveCursor(QTextCursor::End);
    return true;
}

bool Board::Redo()
{
    if (document()->isRedoAvailable()) {
        redo();
        return true;
    }
    if (m_undone.isNull())
        return false;
    const QString draft = Text();
    SetText(m_undone);
    document()->setModified(false);
    m_undone = QString();
    m_draft = draft;
    return true;
}

void Board::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Undo)) {
        Undo();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Redo) || event->keyCombination() == (Qt::CTRL | Qt::SHIFT | Qt::Key_Z)) {
        Redo();
        event->accept();
        return;
    }
    // Tab is a character on the board; Ctrl+Tab moves on, as in other text boxes (the text
    // box itself would refuse to move on while editable).
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) && (event->modifiers() & Qt::ControlModifier)) {
        QWidget::focusNextPrevChild(event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & Qt::ControlModifier)) {
        event->accept();
        emit SendRequested();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void Board::Clear()
{
    Receive(QString());
    setFocus();
}

void Board::CopyAll() const
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(Text());
}

void Board::PasteClipboard()
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    cursor.insertText(QGuiApplication::clipboard()->text());
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void Board::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void Board::dragMoveEvent(QDragMoveEvent *event)
{
    if (CarriesFiles(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void Board::dropEvent(QDropEvent *event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && !QFileInfo(path).isDir())
            paths.append(path);
    }
    emit FilesDropped(paths);
}
