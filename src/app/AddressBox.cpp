#include "app/AddressBox.h"

#include "discovery/TypedAddress.h"

#include <QKeyEvent>
#include <QAbstractItemView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {
bool IsEnter(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

AddressBox::AddressBox(QWidget *parent)
    : QComboBox(parent)
{
    setObjectName(QStringLiteral("cmbIP"));
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // A delegate that draws the ticks; Ctrl+click in the list ticks without choosing.
    setItemDelegate(new QStyledItemDelegate(this));
    view()->viewport()->installEventFilter(this);
    setToolTip(tr("Ctrl+click entries in the list to send to several at once"));
    // Keys reach the box (which hands them to its line edit) or, sent to it, the line edit.
    installEventFilter(this);
    lineEdit()->installEventFilter(this);
}

namespace {
constexpr int TargetRole = Qt::UserRole + 1; // set on the entries of found computers only
}

QStringList AddressBox::Entries() const
{
    QStringList entries;
    for (int i = 0; i < count(); ++i) {
        if (!itemData(i, TargetRole).isValid())
            entries.append(itemText(i));
    }
    return entries;
}

void AddressBox::AddAddress(const QString &address)
{
    const QStringList entries = Entries();
    if (entries.contains(address))
        return;
    const int at = int(entries.size()); // remembered addresses come before found computers
    insertItem(at, address);
    setEditText(QString());
    setCurrentIndex(at);
}

bool AddressBox::Knows(const QString &host, quint16 defaultPort) const
{
    const QStringList remembered = Entries();
    return std::ranges::any_of(remembered, [&](const QString &entry) {
        TypedAddress typed;
        return typed.Parse(entry, defaultPort) && typed.Host() == host;
    });
}

void AddressBox::SetPeers(const QList<Peer> &peers)
{
    const QString shown = currentText();
    const int remembered = int(Entries().size());
    while (count() > remembered)
        removeItem(count() - 1);
    for (const Peer &peer : peers) {
        addItem(peer.Label());
        setItemData(count() - 1, peer.Target(), TargetRole);
    }
    setEditText(shown);
}

QString AddressBox::PeerTarget() const
{
    const int index = currentIndex();
    if (index < 0 || currentText() != itemText(index))
        return {};
    return itemData(index, TargetRole).toString();
}

QList<AddressBox::Ticked> AddressBox::TickedEntries() const
{
    QList<Ticked> ticked;
    for (int i = 0; i < count(); ++i) {
        if (itemData(i, Qt::CheckStateRole).toInt() != Qt::Checked)
            continue;
        const QVariant target = itemData(i, TargetRole);
        ticked.append({itemText(i), target.isValid() ? target.toString() : itemText(i), target.isValid()});
    }
    return ticked;
}

bool AddressBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view()->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QModelIndex index = view()->indexAt(mouse->position().toPoint());
        if (!mouse->modifiers().testFlag(Qt::ControlModifier) || !index.isValid())
            return QComboBox::eventFilter(watched, event);
        const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        setItemData(index.row(), ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        return true; // the list stays open for the next one
    }
    if (watched != this && watched != lineEdit())
        return QComboBox::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (IsEnter(key->key())) {
            // Enter acts when it comes up; going down it must not pick an entry that differs
            // only in case.
            m_enterDown = true;
            return true;
        }
        KeyDown(key->key());
        break;
    }
    case QEvent::KeyRelease: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat())
            KeyUp(key->key());
        break;
    }
    case QEvent::FocusOut:
        m_enterDown = false;
        break;
    default:
        break;
    }
    return QComboBox::eventFilter(watched, event);
}

void AddressBox::KeyDown(int key)
{
    const int index = currentIndex();
    // An entry counts as selected only while the box still shows it: once the text has been
    // edited, Delete is plain editing and must not cost a remembered address.
    if (key != Qt::Key_Delete || index < 0 || currentText() != itemText(index))
        return;
    QLineEdit *edit = lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    const int start = edit->selectionStart();
    const int length = int(edit->selectedText().size());
    removeItem(index);
    setCurrentIndex(-1);
    // The key then does its ordinary editing on the text as the user saw it.
    edit->setText(text);
    if (start < 0)
        edit->setCursorPosition(cursor);
    else if (cursor == start)
        edit->setSelection(start + length, -length);
    else
        edit->setSelection(start, length);
}

void AddressBox::KeyUp(int key)
{
    if (!IsEnter(key) || !m_enterDown)
        return;
    m_enterDown = false;
    AddAddress(currentText());
}
