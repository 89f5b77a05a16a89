#include "windows/frmHistory.h"

#include "TextdropVersion.h"
#include "core/HistoryStore.h"
#include "core/TextBytes.h"
#include "core/HistoryModel.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

frmHistory::frmHistory(HistoryStore &store, QWidget *parent, Confirm confirm)
    : QWidget(parent, Qt::Window)
    , m_store(store)
    , m_confirm(confirm ? std::move(confirm) : [](QWidget *owner, const QString &question) {
        return QMessageBox::question(owner, QStringLiteral(TEXTDROP_TITLE), question) == QMessageBox::Yes;
    })
    , m_model(new HistoryModel(store, this))
{
    setObjectName(QStringLiteral("frmHistory"));
    setWindowTitle(tr("History"));
    resize(680, 380);

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("lblNotice"));
    m_notice->setWordWrap(true);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notice->hide();

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("txtSearch"));
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) { m_model->SetFilter(text.toUtf8()); });

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tblHistory"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    // Fixed row heights and no fitting to contents: the view never measures rows it does not show.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // Widths from sample texts: measuring the rows themselves would read the whole history.
    const QString sampleTime = QLocale().toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59)), QLocale::ShortFormat);
    for (const auto &[column, sample] : {std::pair{int(HistoryModel::TimeColumn), sampleTime},
                                         std::pair{int(HistoryModel::DirectionColumn), tr("received, enciphered")},
                                         std::pair{int(HistoryModel::PeerColumn), QStringLiteral("255.255.255.255")}})
        m_table->setColumnWidth(column, m_table->fontMetrics().horizontalAdvance(sample) + 16);
    m_table->horizontalHeader()->setSectionResizeMode(HistoryModel::TextColumn, QHeaderView::Stretch);
    m_table->setWordWrap(false);
    m_table->installEventFilter(this);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &frmHistory::OnSelectionChanged);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        const QModelIndexList rows = m_table->selectionModel()->selectedRows();
        const HistoryStore::Entry *entry = rows.isEmpty() ? nullptr : m_model->EntryAt(rows.first().row());
        m_selectedId = entry ? entry->id : 0;
        m_selectedRow = entry ? rows.first().row() : -1;
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, &frmHistory::KeepSelection);
    connect(m_table, &QAbstractItemView::doubleClicked, this, &frmHistory::OnPutOnBoard);
    AddListCommand(tr("&Copy"), {QKeySequence::Copy}, &frmHistory::OnCopy);
    AddListCommand(tr("&Put on board"), {Qt::Key_Return, Qt::Key_Enter}, &frmHistory::OnPutOnBoard);
    AddListCommand(tr("&Delete"), {QKeySequence::Delete}, &frmHistory::OnDelete);
    AddListCommand(tr("&Undo delete"), {QKeySequence::Undo}, &frmHistory::OnUndoDelete);
    auto *close = new QAction(this);
    close->setShortcut(Qt::Key_Escape);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_notice);
    layout->addWidget(m_search);
    layout->addWidget(m_table, 1);
    layout->addLayout(BuildButtons());
    OnSelectionChanged();
}

QLayout *frmHistory::BuildButtons()
{
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("txtAddress"));
    m_address->setPlaceholderText(tr("Address"));
    const auto button = [this](const char *name, const QString &caption, auto handler) {
        auto *result = new QPushButton(caption, this);
        result->setObjectName(QLatin1String(name));
        result->setAutoDefault(false);
        connect(result, &QPushButton::clicked, this, handler);
        return result;
    };
    m_forSelection = {
        button("cmdCopy", tr("&Copy"), &frmHistory::OnCopy),
        button("cmdPutOnBoard", tr("&Put on board"), &frmHistory::OnPutOnBoard),
        button("cmdSendAgain", tr("Send &again"), [this] {
            if (QByteArray text; Selected(text) && !m_address->text().trimmed().isEmpty())
                emit SendAgain(m_address->text().trimmed(), text);
        }),
        button("cmdDelete", tr("&Delete"), &frmHistory::OnDelete),
    };
    auto *row = new QHBoxLayout;
    row->addWidget(m_forSelection[0]);
    row->addWidget(m_forSelection[1]);
    row->addWidget(m_forSelection[2]);
    row->addWidget(new QLabel(tr("to"), this));
    row->addWidget(m_address, 1);
    row->addWidget(m_forSelection[3]);
    row->addSpacing(12);
    row->addWidget(button("cmdClearHistory", tr("C&lear history"), &frmHistory::OnClear));
    return row;
}

void frmHistory::ShowNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->setVisible(!text.isEmpty());
}

void frmHistory::Reload()
{
    m_model->Reload();
}

bool frmHistory::Selected(QByteArray &text, qint64 *id) const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    const HistoryStore::Entry *entry = rows.isEmpty() ? nullptr : m_model->EntryAt(rows.first().row());
    if (!entry)
        return false;
    if (id)
        *id = entry->id;
    // The list holds only the start of each text.
    text = m_store.Text(entry->id);
    return true;
}

void frmHistory::OnSelectionChanged()
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    const HistoryStore::Entry *entry = rows.isEmpty() ? nullptr : m_model->EntryAt(rows.first().row());
    for (QPushButton *button : std::as_const(m_forSelection))
        button->setEnabled(entry != nullptr);
    if (entry && !entry->peer.isEmpty())
        m_address->setText(entry->peer);
}

void frmHistory::OnCopy()
{
    if (QByteArray text; Selected(text))
        QGuiApplication::clipboard()->setText(DecodeText(text));
}

void frmHistory::AddListCommand(const QString &caption, const QList<QKeySequence> &keys,
                                void (frmHistory::*handler)())
{
    auto *action = new QAction(caption, m_table);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, handler);
    m_table->addAction(action);
}

void frmHistory::KeepSelection()
{
    int row = -1;
    for (int i = 0; m_selectedId != 0 && i < m_model->rowCount(); ++i) {
        if (m_model->EntryAt(i)->id == m_selectedId)
            row = i;
    }
    if (row < 0 && m_selectedRow >= 0)
        row = qMin(m_selectedRow, m_model->rowCount() - 1);
    if (row >= 0)
        m_table->selectRow(row);
    OnSelectionChanged();
}

bool frmHistory::eventFilter(QObject *watched, QEvent *event)
{
    // Reached by the keyboard, the list offers a message at once.
    if (watched == m_table && event->type() == QEvent::FocusIn && m_model->rowCount() > 0
        && !m_table->selectionModel()->hasSelection())
        m_table->selectRow(qMax(0, m_table->currentIndex().row()));
    return QWidget::eventFilter(watched, event);
}

void frmHistory::OnPutOnBoard()
{
    if (QByteArray text; Selected(text))
        emit PutOnBoard(text);
}

void frmHistory::OnDelete()
{
    qint64 id = 0;
    if (QByteArray text; Selected(text, &id)) {
        m_deleted.append(id);
        m_model->Hide(id, true);
    }
}

void frmHistory::OnUndoDelete()
{
    if (m_deleted.isEmpty())
        return;
    const qint64 id = m_deleted.takeLast();
    m_model->Hide(id, false);
    for (int i = 0; i < m_model->rowCount(); ++i) {
        if (m_model->EntryAt(i)->id == id)
            m_table->selectRow(i);
    }
}

// Also when the window goes without being closed: what the user deleted must not stay on disk.
frmHistory::~frmHistory()
{
    RemoveDeleted();
}

void frmHistory::closeEvent(QCloseEvent *event)
{
    RemoveDeleted();
    QWidget::closeEvent(event);
}

void frmHistory::RemoveDeleted()
{
    for (const qint64 id : std::as_const(m_deleted))
        m_store.Remove(id);
    m_deleted.clear();
}

void frmHistory::OnClear()
{
    if (!m_confirm(this, tr("Remove every message from the history?")))
        return;
    m_store.Clear();
    m_deleted.clear();
    m_model->Reload();
}
