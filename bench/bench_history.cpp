// The history with 100,000 messages: how long the History window takes to open and to filter
// as the user types, and what recording one message costs a receiver. The window runs on the
// platform Qt picks (offscreen unless QT_QPA_PLATFORM says otherwise).
#include "core/HistoryRecorder.h"
#include "core/HistoryStore.h"
#include "core/HistoryModel.h"
#include "windows/frmHistory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Messages = 100000;

// Fills the file in one transaction: the figures are about reading it, not about filling it.
bool Fill(const QString &path)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        ok = db.open() && db.transaction();
        QSqlQuery insert(db);
        ok = ok && insert.prepare(QStringLiteral("INSERT INTO messages(at, direction, peer, cipher, body) VALUES(?, ?, ?, '', ?)"));
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        QRandomGenerator random(12);
        for (int i = 0; ok && i < Messages; ++i) {
            QByteArray body = "message " + QByteArray::number(i) + " about the build of the week\r\n";
            body += QByteArray(int(random.bounded(40, 400)), char('a' + i % 26));
            insert.addBindValue(now - qint64(Messages - i) * 1000);
            insert.addBindValue(i % 2);
            insert.addBindValue(QStringLiteral("192.168.1.%1").arg(i % 250));
            insert.addBindValue(body);
            ok = insert.exec();
        }
        ok = ok && db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

double Seconds(const QElapsedTimer &clock)
{
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    Preferences rules;
    rules.HistoryCount = Messages * 2;
    {
        HistoryStore schema;
        if (!schema.Open(path) || (schema.Close(), !Fill(path))) {
            std::fprintf(stderr, "bench_history: cannot fill %s\n", qPrintable(path));
            return 1;
        }
    }
    HistoryRecorder recorder(path);
    recorder.SetRules(rules);
    HistoryStore *store = recorder.OpenStore();
    std::printf("history: %lld messages\n", static_cast<long long>(store->Count()));

    QElapsedTimer clock;
    clock.start();
    auto *window = new frmHistory(*store);
    window->show();
    window->findChild<QTableView *>()->viewport()->repaint();
    QApplication::processEvents();
    std::printf("open the History window:      %7.1f ms (limit 300)\n", Seconds(clock) * 1000);

    auto *search = window->findChild<QLineEdit *>(QStringLiteral("txtSearch"));
    auto *table = window->findChild<QTableView *>();
    for (const char *term : {"week", "message 99", "message 12345 ", "no such text", "m"}) {
        search->clear();
        clock.restart();
        search->setText(QString::fromLatin1(term));
        table->viewport()->repaint();
        std::printf("filter \"%s\": %5d rows shown %7.1f ms (limit 100)\n", term, table->model()->rowCount(),
                    Seconds(clock) * 1000);
    }

    // Recording as a receiver does it, one message at a time, each its own write.
    constexpr int Rounds = 500;
    std::vector<double> costs;
    for (int i = 0; i < Rounds; ++i) {
        const QByteArray text = "received " + QByteArray::number(i) + QByteArray(200, 'r');
        clock.restart();
        recorder.Record(HistoryStore::Direction::Received, QStringLiteral("10.0.0.1"), {}, text);
        costs.push_back(Seconds(clock) * 1000);
    }
    clock.restart();
    recorder.Checkpoint();
    std::printf("copying the log of those writes into the file, later, when idle: %.1f ms\n", Seconds(clock) * 1000);
    std::sort(costs.begin(), costs.end());
    double sum = 0;
    for (double c : costs)
        sum += c;
    std::printf("record one message: mean %.3f ms, median %.3f ms, 99th %.3f ms, max %.3f ms (limit 2)\n",
                sum / Rounds, costs[Rounds / 2], costs[Rounds * 99 / 100], costs.back());
    delete window;
    return 0;
}
