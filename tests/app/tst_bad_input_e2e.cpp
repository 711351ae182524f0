// The real program meets bad media files, broken skins and outputs that
// aren't there: it keeps running, the good channel is heard, the buttons keep
// their pictures and memory stays bounded; an unknown output on the command
// line ends it before any window.
#include "MediaFiles.h"
#include "PlayerDriver.h"
#include "SinkRecorder.h"
#include "ToneAnalysis.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using testmedia::MediaKind;
using namespace playerdriver;

namespace {

constexpr double Good = 1000;
constexpr double Bad = 440;
constexpr qint64 SparseSize = qint64(8) << 30;
// What the program may grow by over the moves and clicks: a 10000 x 10000
// picture decoded, even as grey (95 MiB, 381 MiB in colour), would pass this.
constexpr qint64 RssGrowthBoundKiB = 48 << 10;
// Mean difference per colour channel (0-255) between a button on the screen
// and a picture it may show; the same decoder on both sides gives about 0.
constexpr double PictureTolerance = 6;

struct Heard
{
    bool good, bad;
    double goodSeconds;
};

Heard heard(const std::vector<float> &all, double from, double to)
{
    const auto rate = tones::SinkRecorder::SampleRate;
    const auto begin = std::clamp<std::size_t>(std::size_t(std::max(0.0, from) * rate), 0, all.size());
    const auto end = std::clamp<std::size_t>(std::size_t(std::max(0.0, to) * rate), begin, all.size());
    const std::vector<float> part(all.begin() + qsizetype(begin), all.begin() + qsizetype(end));
    const auto found = tones::findTones(part, rate, {Good, Bad});
    qInfo("%.2f..%.2f s: %g Hz %s (%.2f s), %g Hz %s", from, std::min(to, 999.0), Good,
          found[0].present ? "heard" : "silent", found[0].heardSeconds, Bad, found[1].present ? "heard" : "silent");
    return {found[0].present, found[1].present, found[0].heardSeconds};
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A skinned button: where it is in the client area and the stored pictures
// it may show once the pointer has left it (normal, or the disabled look
// laid over a transport button).
struct ButtonPlace
{
    const char *name;
    QRect rect;
    QStringList pictures;
};

const ButtonPlace Buttons[] = {
    {"channel 1", QRect(304, 69, 50, 48), {QStringLiteral("channel1.jpg")}},
    {"channel 2", QRect(304, 118, 50, 48), {QStringLiteral("channel2.jpg")}},
    {"play", QRect(60, 83, 50, 48), {QStringLiteral("play.jpg"), QStringLiteral("play_disabled.jpg")}},
    {"pause", QRect(121, 92, 50, 48), {QStringLiteral("pause.jpg"), QStringLiteral("pause_disabled.jpg")}},
    {"stop", QRect(180, 94, 50, 48), {QStringLiteral("stop.jpg"), QStringLiteral("stop_disabled.jpg")}},
};

double meanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

QImage screenshot(const QString &path)
{
    QProcess import;
    import.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path});
    if (!import.waitForFinished(15000) || import.exitCode() != 0)
        return {};
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

} // namespace

class BadInputE2ETest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_goodFile;

private slots:
    void initTestCase()
    {
        if (!playerdriver::testEnvironmentPresent())
            QSKIP("needs the X server and null sink of scripts/with-test-env.sh");
        QVERIFY(m_dir.isValid());
        m_goodFile = testmedia::makeToneFile(m_dir.path(), "good-1000.mp3", MediaKind::Mp3, Good, 4.0);
        QVERIFY(!m_goodFile.isEmpty());
    }

    void badFileBesideAGoodOne_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("deleteBeforePlay");

        const QString dir = m_dir.filePath(QStringLiteral("bad"));
        QVERIFY(QDir().mkpath(dir));
        const auto file = [&](const QString &name, const QByteArray &bytes) {
            const QString path = dir + QLatin1Char('/') + name;
            if (!writeFile(path, bytes))
                qFatal("cannot write %s", qPrintable(path));
            return path;
        };
        QRandomGenerator random(0x5eed0042);
        QByteArray noise(96 * 1024, '\0');
        for (char &b : noise)
            b = char(random.bounded(256));
        const QString mp3 = testmedia::makeToneFile(dir, "source.mp3", MediaKind::Mp3, Bad, 3.0);
        QVERIFY(!mp3.isEmpty());
        QByteArray corrupt = readAll(mp3);
        for (int i = 0; i < 300; ++i)
            corrupt[random.bounded(int(corrupt.size()))] = char(random.bounded(256));

        QTest::newRow("zero bytes") << file(QStringLiteral("empty.wav"), {}) << false;
        QTest::newRow("random bytes") << file(QStringLiteral("noise.avi"), noise) << false;
        QTest::newRow("text named .mid") << file(QStringLiteral("notes.mid"), QByteArray("not music\n").repeated(100)) << false;
        QTest::newRow("corrupt mp3") << file(QStringLiteral("damaged.mp3"), corrupt) << false;
        QTest::newRow("deleted after its choice") << file(QStringLiteral("gone.mp3"), readAll(mp3)) << true;

        const QString huge = dir + QStringLiteral("/huge.avi");
        QFile sparse(huge);
        QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(SparseSize));
        QTest::newRow("8 GiB sparse file") << huge << false;
    }

    void badFileBesideAGoodOne()
    {
        QFETCH(QString, path);
        QFETCH(bool, deleteBeforePlay);
        Player player(QStringLiteral(TANDRA_BINARY), true);
        QVERIFY(player.start());
        QVERIFY(player.choose(Channel1, path));
        QVERIFY(player.choose(Channel2, m_goodFile));
        if (deleteBeforePlay)
            QVERIFY(QFile::remove(path));

        tones::SinkRecorder recorder;
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
        QTest::qWait(300);
        const double played = recorder.elapsedSeconds();
        player.click(PlayButton);
        QTest::qWait(2000);
        const double pausing = recorder.elapsedSeconds();
        player.click(PauseButton);
        const double paused = recorder.elapsedSeconds();
        QTest::qWait(1000);
        const std::vector<float> sound = recorder.stop();

        QCOMPARE(player.process().state(), QProcess::Running);
        const Heard playing = heard(sound, played + 0.4, pausing);
        QVERIFY2(playing.good && playing.goodSeconds > 0.8, "the good channel plays beside the bad one");
        // Pause was taken at once: the window still answers.
        const Heard afterPause = heard(sound, paused + 0.3, 1e9);
        QVERIFY2(!afterPause.good && !afterPause.bad, "silence after Pause");
        QCOMPARE(player.process().state(), QProcess::Running);
        QVERIFY2(!player.errors().contains("CRITICAL"), player.errors().constData());
        if (QFile::exists(path) && QFileInfo(path).size() == SparseSize)
            QFile::remove(path);
    }

    // The listing in the message is the real sound server's.
    void unknownOutputOnTheCommandLine()
    {
        QProcess program;
        program.start(QStringLiteral(TANDRA_BINARY),
                      {QStringLiteral("--output2"), QStringLiteral("nosuchsink"), m_goodFile});
        QVERIFY(program.waitForStarted());
        const QStringList window{QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Tandra$")};
        bool windowSeen = false;
        for (int waited = 0; !program.waitForFinished(100) && waited < 30000; waited += 100)
            windowSeen = windowSeen || !run(window).isEmpty();
        QVERIFY(program.state() == QProcess::NotRunning && !windowSeen);
        QVERIFY(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 2);
        const QString errors = QString::fromUtf8(program.readAllStandardError());
        const QString sink = qEnvironmentVariable("TANDRA_NULL_SINK");
        QVERIFY2(errors.contains(QStringLiteral("no output \"nosuchsink\" for channel 2"))
                     && errors.contains(QStringLiteral("\n  %1\tTandra_null_sink").arg(sink)),
                 qPrintable(errors));
    }

    void brokenSkins_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::newRow("no SkinDefault folder") << QStringLiteral("missing");
        QTest::newRow("zero-byte pictures") << QStringLiteral("zero");
        QTest::newRow("corrupt pictures") << QStringLiteral("corrupt");
        QTest::newRow("truncated pictures") << QStringLiteral("truncated");
        QTest::newRow("10000 x 10000 hover picture") << QStringLiteral("huge");
    }

    // The program is copied into a folder of its own, whose SkinDefault is
    // made broken in one way.
    void brokenSkins()
    {
        QFETCH(QString, skin);
        const QString source = QString::fromLocal8Bit(qgetenv("TANDRA_TEST_SOURCE_DIR"));
        QVERIFY(!source.isEmpty());
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString program = folder.filePath(QStringLiteral("tandra"));
        QVERIFY(QFile::copy(QStringLiteral(TANDRA_BINARY), program));
        const QString skinFolder = folder.filePath(QStringLiteral("SkinDefault"));
        const QDir goodSkin(source + QStringLiteral("/SkinDefault"));
        // The fifteen names alone: no double-size pictures to fall back on.
        const QStringList pictures = goodSkin.entryList({QStringLiteral("?????.jpg")}, QDir::Files);
        QCOMPARE(pictures.size(), 15);
        if (skin != QLatin1String("missing")) {
            QVERIFY(QDir().mkpath(skinFolder));
            QRandomGenerator random(0x5eed0099);
            for (const QString &name : pictures) {
                QByteArray bytes = readAll(goodSkin.filePath(name));
                QVERIFY(!bytes.isEmpty());
                if (skin == QLatin1String("zero")) {
                    bytes.clear();
                } else if (skin == QLatin1String("corrupt")) {
                    // The JPEG start and first marker kept, the rest noise.
                    for (qsizetype i = 20; i < bytes.size(); ++i)
                        bytes[i] = char(random.bounded(256));
                } else if (skin == QLatin1String("truncated")) {
                    bytes.truncate(bytes.size() / 2);
                }
                QVERIFY(writeFile(skinFolder + QLatin1Char('/') + name, bytes));
            }
            if (skin == QLatin1String("huge")) {
                // The pointer over Play shows this one.
                QImage huge(10000, 10000, QImage::Format_Grayscale8);
                for (int y = 0; y < huge.height(); ++y)
                    std::memset(huge.scanLine(y), (y / 100) % 2 ? 40 : 220, size_t(huge.bytesPerLine()));
                QVERIFY(huge.save(skinFolder + QStringLiteral("/b0018.jpg"), "JPEG", 50));
                huge = QImage();
                QVERIFY(QFileInfo(skinFolder + QStringLiteral("/b0018.jpg")).size() > 0);
            }
        }

        Player player(program, true);
        QVERIFY(player.start());
        // The player loads its sound plugins once the window is up.
        QTest::qWait(2500);
        const qint64 before = player.residentKiB();
        // Over every button and the background, twice, pressing the
        // transport buttons on the way.
        const QPoint background(20, 20);
        for (int round = 0; round < 2; ++round) {
            for (const ButtonPlace &button : Buttons) {
                player.moveTo(button.rect.center());
                QTest::qWait(50);
                player.moveTo(button.rect.center() + QPoint(3, 2));
                player.moveTo(background);
            }
            for (QPoint button : {PlayButton, PauseButton, StopButton}) {
                player.click(button);
                QTest::qWait(100);
            }
            player.moveTo(background);
            QTest::qWait(100);
        }
        QTest::qWait(300);
        QCOMPARE(player.process().state(), QProcess::Running);
        const qint64 rss = player.residentKiB();
        qInfo("resident memory %.1f MiB, %+.1f MiB over the moves (bound %+.0f MiB)", rss / 1024.0,
              (rss - before) / 1024.0, RssGrowthBoundKiB / 1024.0);
        QVERIFY(before > 0 && rss > 0);
        QVERIFY(rss - before < RssGrowthBoundKiB);

        const QImage screen = screenshot(folder.filePath(QStringLiteral("screen.png")));
        QVERIFY(!screen.isNull());
        for (const ButtonPlace &button : Buttons) {
            const QImage shown = screen.copy(player.onScreen(button.rect));
            double best = 255;
            for (const QString &picture : button.pictures) {
                const QImage stored = QImage(source + QStringLiteral("/resources/pictures/") + picture)
                                          .convertToFormat(QImage::Format_RGB32);
                QVERIFY(!stored.isNull());
                best = std::min(best, meanDifference(shown, stored.copy(0, 0, shown.width(), shown.height())));
            }
            QVERIFY2(best < PictureTolerance,
                     qPrintable(QStringLiteral("%1 differs from its pictures by %2").arg(button.name).arg(best)));
        }
        QCOMPARE(player.process().state(), QProcess::Running);
        QVERIFY2(!player.errors().contains("CRITICAL"), player.errors().constData());
    }
};

QTEST_GUILESS_MAIN(BadInputE2ETest)
#include "tst_bad_input_e2e.moc"
