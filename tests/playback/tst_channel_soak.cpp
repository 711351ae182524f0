// Long use of two real channels: hundreds of open, play, pause and close
// cycles leave the process's live heap, open files and threads where they
// were.
#include "PlaybackEngine.h"
#include "MediaFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <gst/gst.h>
#include <malloc.h>
#include <unistd.h>

#include <memory>
#include <vector>

using testmedia::MediaKind;

namespace {

constexpr int WarmUpCycles = 20;
// Live heap bytes, not resident memory: freed memory stays resident in the C
// library's arenas, one per thread, and resident memory moved by 20 MiB with
// the machine's load. The live heap stays within about 10 KiB over hundreds
// of cycles once GStreamer's one-time set-up is done in the warm-up.
constexpr qint64 HeapGrowthBoundPerCycle = 256;
constexpr int FdGrowthBound = 2;
constexpr int ThreadGrowthBound = 2;

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer has a heap of its own, which mallinfo2() does not count.
constexpr bool HeapIsMeaningful = false;
// Sanitized, one cycle takes longer than half a second of sound, and a file
// that has ended is rightly no longer playing when the cycle looks.
constexpr double FileSeconds = 5.0;
// Ten times slower there; the leak check at exit sees every cycle anyway.
constexpr int Cycles = 60;
#else
constexpr bool HeapIsMeaningful = true;
constexpr double FileSeconds = 0.5;
constexpr int Cycles = 300;
#endif

// Freed blocks kept in per-thread caches count as in use and fill up at
// their own pace; main() turns those caches off.
qint64 liveHeapBytes()
{
    // A used MIDI synthesiser is destroyed, and a fresh one loaded, on the
    // global thread pool; each holds about 11 MiB.
    QThreadPool::globalInstance()->waitForDone();
    const struct mallinfo2 heap = mallinfo2();
    return qint64(heap.uordblks + heap.hblkhd);
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
    qint64 heap;
    int fds;
    int threads;
};

Usage usageNow()
{
    // Pipelines torn down just now may still be releasing their threads.
    QTest::qWait(50);
    return {liveHeapBytes(), openFiles(), threads()};
}

} // namespace

class TestChannelSoak : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void manyCyclesOnTwoChannels_data();
    void manyCyclesOnTwoChannels();

private:
    QTemporaryDir m_dir;
    std::vector<QString> m_files1;
    std::vector<QString> m_files2;
    std::vector<QString> m_videoCds; // one of each layout, from the lists above
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
    m_videoCds = {m_files1[3], m_files2[2]};
    for (const QString &file : m_files1)
        QVERIFY(!file.isEmpty());
    for (const QString &file : m_files2)
        QVERIFY(!file.isEmpty());
}

void TestChannelSoak::manyCyclesOnTwoChannels_data()
{
    QTest::addColumn<int>("cycles");
    QTest::addColumn<int>("leakPerCycle"); // bytes the test itself holds on to
    QTest::addColumn<bool>("quick"); // each file closed before it has started
    QTest::newRow("two channels") << Cycles << 0 << false;
    // Files given in quick turns are stopped while their decoders are still
    // being put together (video CDs: their source is one of ours).
    QTest::newRow("quick turns") << Cycles << 0 << true;
    // The measure must catch a small leak, in fewer cycles.
    if (HeapIsMeaningful)
        QTest::newRow("leaking 1 KiB a cycle") << Cycles / 3 << 1024 << false;
}

void TestChannelSoak::manyCyclesOnTwoChannels()
{
    QFETCH(int, cycles);
    QFETCH(int, leakPerCycle);
    QFETCH(bool, quick);
    std::vector<QByteArray> leaked;
    auto engine = silentEngine();
    Usage warm{};
    QElapsedTimer timer;
    timer.start();
    for (int cycle = 0; cycle < WarmUpCycles + cycles; ++cycle) {
        if (cycle == WarmUpCycles)
            warm = usageNow();
        if (cycle > WarmUpCycles && (cycle - WarmUpCycles) % 100 == 0)
            qInfo("after %d cycles: live heap %+.1f KiB", cycle - WarmUpCycles, (usageNow().heap - warm.heap) / 1024.0);
        if (quick) {
            engine->channel(0).setFileName(m_videoCds[size_t(cycle) % 2]);
            engine->channel(1).setFileName(m_videoCds[size_t(cycle + 1) % 2]);
        } else {
            engine->channel(0).setFileName(m_files1[size_t(cycle) % m_files1.size()]);
            engine->channel(1).setFileName(m_files2[size_t(cycle / 2) % m_files2.size()]);
        }
        send(*engine, "open");
        send(*engine, "play");
        if (quick) {
            QTest::qWait(cycle % 13 * 3); // from at once to the first sound
        } else {
            QTRY_VERIFY2_WITH_TIMEOUT(engine->isPlaying(0) && engine->isPlaying(1),
                                      qPrintable(QStringLiteral("cycle %1").arg(cycle)), 5000);
            send(*engine, "pause");
            // Open and play again resume the paused files.
            send(*engine, "open");
            send(*engine, "play");
            QVERIFY2(engine->isPlaying(0) && engine->isPlaying(1), qPrintable(QStringLiteral("cycle %1").arg(cycle)));
            QTest::qWait(10);
        }
        send(*engine, "close");
        QVERIFY(!engine->isOpen(0) && !engine->isOpen(1));
        if (leakPerCycle)
            leaked.emplace_back(leakPerCycle, '\0');
    }
    const Usage end = usageNow();
    const qint64 elapsed = timer.elapsed();

    const qint64 growth = end.heap - warm.heap;
    const qint64 bound = cycles * HeapGrowthBoundPerCycle;
    qInfo("%d cycles after %d to warm up, %lld ms: live heap %.2f MiB %+.1f KiB (bound %+lld KiB),"
          " open files %d -> %d, threads %d -> %d",
          cycles, WarmUpCycles, elapsed, warm.heap / 1048576.0, growth / 1024.0, bound / 1024, warm.fds, end.fds,
          warm.threads, end.threads);
    // The last pipeline's threads may still be ending on a loaded machine.
    QTRY_VERIFY2_WITH_TIMEOUT(openFiles() <= warm.fds + FdGrowthBound, "open files pile up", 10000);
    QTRY_VERIFY2_WITH_TIMEOUT(threads() <= warm.threads + ThreadGrowthBound, "threads pile up", 10000);
    if (HeapIsMeaningful)
        QCOMPARE(growth > bound, leakPerCycle > 0);
    else
        qInfo("live heap not checked under the address sanitizer");
}

int main(int argc, char **argv)
{
    // Without the C library's and GLib's per-thread caches of freed blocks,
    // the live heap counts only what is really held. Both are read at start.
    const QByteArray noCache = "glibc.malloc.tcache_count=0";
    const QByteArray tunables = qgetenv("GLIBC_TUNABLES");
    if (!tunables.contains(noCache) || qgetenv("G_SLICE") != "always-malloc") {
        qputenv("GLIBC_TUNABLES", tunables.isEmpty() ? noCache : tunables + ':' + noCache);
        qputenv("G_SLICE", "always-malloc");
        execv("/proc/self/exe", argv);
    }
    QCoreApplication app(argc, argv);
    TestChannelSoak test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_channel_soak.moc"
