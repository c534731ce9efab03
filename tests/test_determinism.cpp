// Pictures decided by the file alone: every file of the fuzz corpus (the
// damaged files of the reliability cases among them) is loaded, picked and
// saved by two processes whose freed and fresh memory hold different bytes.
// A pixel the file does not set would differ between them.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A hang guard for one run over the corpus, not a speed test.
constexpr int kRunDeadlineMs = 300000;

// Runs the probe over the inputs into a new folder, with glibc's malloc (or
// AddressSanitizer's, in that build) filling memory with the given byte.
bool probe(const QStringList& inputs, const QString& out, int fillByte)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("MALLOC_PERTURB_", QString::number(fillByte));
    const QString asan = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS", (asan.isEmpty() ? "" : asan + ":") +
                                           QString("malloc_fill_byte=%1:max_malloc_fill_size=%2").arg(fillByte).arg(1 << 30));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QUORVEL_PROBE, QStringList{out} + inputs);
    return process.waitForFinished(kRunDeadlineMs) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
}

TEST(Determinism, EveryCorpusFileGivesTheSamePictureAndTilesWhateverMemoryHeld)
{
    const QDir corpus(QUORVEL_FUZZ_CORPUS);
    QStringList inputs;
    for (const QString& name : corpus.entryList(QDir::Files, QDir::Name))
        inputs << corpus.filePath(name);
    ASSERT_FALSE(inputs.isEmpty()) << corpus.path().toStdString();
    QTemporaryDir first;
    QTemporaryDir second;
    ASSERT_TRUE(probe(inputs, first.path(), 0x55));
    ASSERT_TRUE(probe(inputs, second.path(), 0xAA));

    const QStringList written = QDir(first.path()).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(written, QDir(second.path()).entryList(QDir::Files, QDir::Name));
    // Not a pass by refusing everything: most of the corpus loads and is cut.
    EXPECT_GT(written.filter(".bmp").size(), inputs.size() / 2);
    for (const QString& name : written) {
        const int input = name.section(QRegularExpression("[-.]"), 0, 0).toInt();
        EXPECT_TRUE(contentOf(QDir(first.path()).filePath(name)) == contentOf(QDir(second.path()).filePath(name)))
            << name.toStdString() << " of " << inputs[input].toStdString();
    }
}

} // namespace
