// Long use of two real channels: hundreds of open, play, pause and close
// cycles leave the process's memory, open files and threads where they were.
#include "PlaybackEngine.h"
#include "MediaFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <gst/gst.h>
#include <malloc.h>
#include <unistd.h>

#include <memory>
#include <vector>

using testmedia::MediaKind;

namespace {

constexpr int WarmUpCycles = 20;
// Every pipeline of a cycle allocates a few MiB (decoders, queues, video
// frames) and frees it again; GStreamer's one-time set-up is done in the
// warm-up. Measured here: about 1.3 MiB more per 100 cycles from GStreamer
// and its codecs (no GstObject outlives its pipeline), so 300 cycles stay
// near 4 MiB; twice that is the bound.
constexpr qint64 RssGrowthBound = 8 << 20;
constexpr int FdGrowthBound = 2;
constexpr int ThreadGrowthBound = 2;

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer holds freed memory back in its quarantine.
constexpr bool RssIsMeaningful = false;
// Sanitized, one cycle takes longer than half a second of sound, and a file
// that has ended is rightly no longer playing when the cycle looks.
constexpr double FileSeconds = 5.0;
// Ten times slower there; the leak check at exit sees every cycle anyway.
constexpr int Cycles = 60;
#else
constexpr bool RssIsMeaningful = true;
constexpr double FileSeconds = 0.5;
constexpr int Cycles = 300;
#endif

qint64 residentBytes()
{
    // Give free heap memory back first, so what is left is memory in use.
    malloc_trim(0);
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

int threads()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

std::unique_ptr<PlaybackEngine> silentEngine()
{
    EngineOptions options;
    options.audioSink = QStringLiteral("fakesink sync=true");
    options.showVideo = false;
    return std::make_unique<PlaybackEngine>(options);
}

// To both channels, carried out before it returns.
void send(PlaybackEngine &engine, const char *word)
{
    for (int channel : {0, 1})
        engine.channel(channel).command(QString::fromLatin1(word));
    QCoreApplication::processEvents();
}

struct Usage
{
    qint64 rss;
    int fds;
    int threads;
};

Usage usageNow()
{
    // Pipelines torn down just now may still be releasing their threads.
    QTest::qWait(50);
    return {residentBytes(), openFiles(), threads()};
}

} // namespace

class TestChannelSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void manyCyclesOnTwoChannels();

private:
    QTemporaryDir m_dir;
    std::vector<QString> m_files1;
    std::vector<QString> m_files2;
};

void TestChannelSoak::initTestCase()
{
    QVERIFY(m_dir.isValid());
    gst_init(nullptr, nullptr);
    const auto make = [&](MediaKind kind, double frequency) {
        const QString name = QStringLiteral("%1-%2%3").arg(testmedia::kindName(kind)).arg(frequency).arg(testmedia::suffixFor(kind));
        return testmedia::makeToneFile(m_dir.path(), name, kind, frequency, FileSeconds);
    };
    for (MediaKind kind : {MediaKind::Wav, MediaKind::Mp3, MediaKind::Avi, MediaKind::DatCdxa, MediaKind::Mid})
        m_files1.push_back(make(kind, 440));
    for (MediaKind kind : {MediaKind::Mp3, MediaKind::Wma, MediaKind::DatPlain, MediaKind::Wav})
        m_files2.push_back(make(kind, 1000));
    for (const QString &file : m_files1)
        QVERIFY(!file.isEmpty());
    for (const QString &file : m_files2)
        QVERIFY(!file.isEmpty());
}

void TestChannelSoak::manyCyclesOnTwoChannels()
{
    auto engine = silentEngine();
    Usage warm{};
    QElapsedTimer timer;
    timer.start();
    for (int cycle = 0; cycle < WarmUpCycles + Cycles; ++cycle) {
        if (cycle == WarmUpCycles)
            warm = usageNow();
        if (cycle > WarmUpCycles && (cycle - WarmUpCycles) % 100 == 0)
            qInfo("after %d cycles: RSS %.1f MiB", cycle - WarmUpCycles, usageNow().rss / 1048576.0);
        engine->channel(0).setFileName(m_files1[size_t(cycle) % m_files1.size()]);
        engine->channel(1).setFileName(m_files2[size_t(cycle / 2) % m_files2.size()]);
        send(*engine, "open");
        send(*engine, "play");
        QTRY_VERIFY2_WITH_TIMEOUT(engine->isPlaying(0) && engine->isPlaying(1),
                                  qPrintable(QStringLiteral("cycle %1").arg(cycle)), 5000);
        send(*engine, "pause");
        // Open and play again resume the paused files.
        send(*engine, "open");
        send(*engine, "play");
        QVERIFY2(engine->isPlaying(0) && engine->isPlaying(1), qPrintable(QStringLiteral("cycle %1").arg(cycle)));
        QTest::qWait(10);
        send(*engine, "close");
        QVERIFY(!engine->isOpen(0) && !engine->isOpen(1));
    }
    const Usage end = usageNow();
    const qint64 elapsed = timer.elapsed();

    qInfo("%d cycles after %d to warm up, %lld ms: RSS %.1f MiB -> %.1f MiB (%+.2f MiB, bound %+.0f MiB),"
          " open files %d -> %d, threads %d -> %d",
          Cycles, WarmUpCycles, elapsed, warm.rss / 1048576.0, end.rss / 1048576.0,
          (end.rss - warm.rss) / 1048576.0, RssGrowthBound / 1048576.0, warm.fds, end.fds, warm.threads,
          end.threads);
    QVERIFY(warm.rss > 0 && end.rss > 0);
    // The last pipeline's threads may still be ending on a loaded machine.
    QTRY_VERIFY2_WITH_TIMEOUT(openFiles() <= warm.fds + FdGrowthBound, "open files pile up", 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(threads() <= warm.threads + ThreadGrowthBound, "threads pile up", 10000);
    if (RssIsMeaningful)
        QVERIFY2(end.rss - warm.rss < RssGrowthBound, "memory grows with use");
    else
        qInfo("resident memory not checked under the address sanitizer");
}

QTEST_GUILESS_MAIN(TestChannelSoak)
#include "tst_channel_soak.moc"
