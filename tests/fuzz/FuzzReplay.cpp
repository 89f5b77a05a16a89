// Replays a fuzz corpus through the fuzz target, so the suite runs every committed input.
#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

class FuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void replaysCorpus()
    {
        const QDir corpus(QStringLiteral(TEXTDROP_FUZZ_CORPUS));
        const QStringList inputs = corpus.entryList(QDir::Files);
        QVERIFY2(!inputs.isEmpty(), "the corpus is empty");
        for (const QString &name : inputs) {
            QFile file(corpus.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray input = file.readAll();
            // The target aborts on any broken property; reaching the end is the pass.
            QCOMPARE(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(input.constData()),
                                            static_cast<std::size_t>(input.size())),
                     0);
        }
    }
};

QTEST_APPLESS_MAIN(FuzzReplay)
#include "FuzzReplay.moc"
