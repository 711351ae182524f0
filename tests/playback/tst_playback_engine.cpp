#include "Loudness.h"
#include "MediaFiles.h"
#include "PlaybackEngine.h"
#include "SectorReader.h"
#include "ToneAnalysis.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <gst/gst.h>
#include <sys/stat.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

using testmedia::MediaKind;

namespace {

constexpr int Rate = 48000;

// What reached the channel's sound output instead of the sound card.
struct Capture
{
    struct Piece
    {
        double start; // stream time of its first sample, seconds
        double length;
    };

    mutable std::mutex mutex;
    std::vector<float> samples;
    std::vector<Piece> pieces;

    void clear()
    {
        std::lock_guard lock(mutex);
        samples.clear();
        pieces.clear();
    }
    double seconds() const
    {
        std::lock_guard lock(mutex);
        return double(samples.size()) / Rate;
    }
    std::vector<float> copy() const
    {
        std::lock_guard lock(mutex);
        return samples;
    }
    std::vector<Piece> copyPieces() const
    {
        std::lock_guard lock(mutex);
        return pieces;
    }
    // Where on the timeline the sample at this index was heard: the mix's
    // buffers are stamped with it.
    double timelineAt(size_t index) const
    {
        std::lock_guard lock(mutex);
        size_t first = 0;
        for (const Piece &piece : pieces) {
            const auto length = size_t(std::lround(piece.length * Rate));
            if (index < first + length)
                return piece.start + double(index - first) / Rate;
            first += length;
        }
        return -1;
    }
    double streamEnd() const
    {
        std::lock_guard lock(mutex);
        return pieces.empty() ? 0 : pieces.back().start + pieces.back().length;
    }

    static GstFlowReturn onNewSample(GstElement *sink, gpointer data)
    {
        auto *self = static_cast<Capture *>(data);
        GstSample *sample = nullptr;
        g_signal_emit_by_name(sink, "pull-sample", &sample);
        if (!sample)
            return GST_FLOW_ERROR;
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto *f = reinterpret_cast<const float *>(map.data);
            const size_t n = map.size / sizeof(float);
            std::lock_guard lock(self->mutex);
            self->samples.insert(self->samples.end(), f, f + n);
            const double start = GST_BUFFER_PTS_IS_VALID(buffer) ? double(GST_BUFFER_PTS(buffer)) / GST_SECOND : -1;
            self->pieces.push_back({start, double(n) / Rate});
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }
};

// A real engine whose mixed sound goes into a Capture; realTime plays at the
// files' own pace, otherwise as fast as they decode. Words go to channel 1
// unless told otherwise, and are carried out before send() returns.
struct Channel
{
    Capture capture;
    std::unique_ptr<PlaybackEngine> engine;

    explicit Channel(bool realTime, int openTimeoutMs = 3000)
    {
        EngineOptions options;
        options.audioSink = QStringLiteral("audioconvert ! audioresample"
                                           " ! audio/x-raw,format=F32LE,channels=1,rate=%1"
                                           " ! appsink name=capture emit-signals=true sync=%2")
                                .arg(Rate)
                                .arg(realTime ? "true" : "false");
        options.showVideo = false;
        options.openTimeoutMs = openTimeoutMs;
        options.audioSinkCreated = [this](GstElement *bin) {
            GstElement *sink = gst_bin_get_by_name(GST_BIN(bin), "capture");
            QVERIFY(sink);
            g_signal_connect(sink, "new-sample", G_CALLBACK(Capture::onNewSample), &capture);
            gst_object_unref(sink);
        };
        engine = std::make_unique<PlaybackEngine>(options);
    }
    void setFileName(const QString &path, int channel = 0) { engine->channel(channel).setFileName(path); }
    void send(const char *word, int channel = 0)
    {
        engine->channel(channel).command(QString::fromLatin1(word));
        QCoreApplication::processEvents();
    }
    void openAndPlay(int channel = 0)
    {
        send("open", channel);
        send("play", channel);
    }
    // As the transport does: both channels' words in one turn of the loop.
    void openAndPlayBoth()
    {
        for (int channel : {0, 1}) {
            engine->channel(channel).command(QStringLiteral("open"));
            engine->channel(channel).command(QStringLiteral("play"));
        }
        QCoreApplication::processEvents();
    }
    bool isOpen(int channel = 0) const { return engine->isOpen(channel); }
    bool isPlaying(int channel = 0) const { return engine->isPlaying(channel); }
    bool hasEnded(int channel = 0) const { return engine->hasStarted(channel) && !engine->isPlaying(channel); }
};

double rms(const std::vector<float> &x, double from, double to)
{
    const size_t begin = size_t(std::max(0.0, from) * Rate);
    const size_t end = std::min(x.size(), size_t(to * Rate));
    if (end <= begin)
        return 0;
    double sum = 0;
    for (size_t i = begin; i < end; ++i)
        sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(end - begin));
}

bool fileIsOpenHere(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget() == target)
            return true;
    }
    return false;
}

} // namespace

class TestPlaybackEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void decodesToItsTone_data();
    void decodesToItsTone();
    void specialFileNamesPlay_data();
    void specialFileNamesPlay();
    void badFileStaysClosedAndSilent_data();
    void badFileStaysClosedAndSilent();
    void wordsThatCannotApplyDoNothing();
    void openAndPlayAfterPauseResumes_data();
    void openAndPlayAfterPauseResumes();
    void openAndPlayAfterTheEndRestarts_data();
    void openAndPlayAfterTheEndRestarts();
    void closeReleasesTheFile_data();
    void closeReleasesTheFile();
    void destroyingWhilePlayingReturnsPromptly_data();
    void destroyingWhilePlayingReturnsPromptly();
    void closingOneChannelLeavesTheOtherPlaying();
    void channelsShareOneTimeline();
    void aLoopingChannelHasNoSeam_data();
    void aLoopingChannelHasNoSeam();
    void sectorLayoutOfVideoCdFiles_data();
    void sectorLayoutOfVideoCdFiles();
    void matchedChannelsAreEquallyLoud();
    void offsetsPlaceEachChannelOnTheTimeline_data();
    void offsetsPlaceEachChannelOnTheTimeline();

private:
    QString toneFile(MediaKind kind, double seconds = 1.0);
    QString make(const QString &name, MediaKind kind, double frequency, double seconds);

    QTemporaryDir m_dir;
    std::map<std::pair<int, int>, QString> m_toneFiles;
};

static double frequencyOf(MediaKind kind)
{
    // A different tone per kind, so one kind can't pass for another; over
    // 100 Hz apart so that they can be told apart.
    switch (kind) {
    case MediaKind::Avi: return 330;
    case MediaKind::Wav: return 440;
    case MediaKind::Wma: return 560;
    case MediaKind::DatCdxa: return 680;
    case MediaKind::Mp3: return 800;
    case MediaKind::DatPlain: return 920;
    case MediaKind::Mid: return 1000; // sounds as C6, 1046.5 Hz
    }
    return 0;
}

static const MediaKind AllKinds[] = {MediaKind::Wav,      MediaKind::Mp3, MediaKind::Wma, MediaKind::DatCdxa,
                                     MediaKind::DatPlain, MediaKind::Avi, MediaKind::Mid};

// Seconds for which the tone was heard; -1 when the tone of another kind
// was heard as well (a mix-up or a garbled decode).
static double heardAlone(const std::vector<float> &x, double frequency)
{
    std::vector<double> frequencies{frequency};
    for (MediaKind kind : AllKinds) {
        const double other = testmedia::soundingFrequency(kind, frequencyOf(kind));
        if (std::abs(other - frequency) > 1)
            frequencies.push_back(other);
    }
    const auto findings = tones::findTones(x, Rate, frequencies);
    for (size_t i = 1; i < findings.size(); ++i) {
        if (findings[i].present)
            return -1;
    }
    return findings[0].present ? findings[0].heardSeconds : 0;
}

void TestPlaybackEngine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    gst_init(nullptr, nullptr);
}

QString TestPlaybackEngine::make(const QString &name, MediaKind kind, double frequency, double seconds)
{
    const QString path = testmedia::makeToneFile(m_dir.path(), name, kind, frequency, seconds);
    if (path.isEmpty())
        qWarning("could not make %s", qPrintable(name));
    return path;
}

QString TestPlaybackEngine::toneFile(MediaKind kind, double seconds)
{
    const auto key = std::make_pair(int(kind), int(seconds * 1000));
    auto it = m_toneFiles.find(key);
    if (it == m_toneFiles.end()) {
        const QString name = QStringLiteral("tone-%1-%2ms%3")
                                 .arg(testmedia::kindName(kind))
                                 .arg(key.second)
                                 .arg(testmedia::suffixFor(kind));
        it = m_toneFiles.emplace(key, make(name, kind, frequencyOf(kind), seconds)).first;
    }
    return it->second;
}

void TestPlaybackEngine::decodesToItsTone_data()
{
    QTest::addColumn<MediaKind>("kind");
    QTest::addColumn<QString>("fileName");
    for (MediaKind kind : AllKinds)
        QTest::newRow(testmedia::kindName(kind)) << kind << QString();
    QTest::newRow("mp3 named .wav") << MediaKind::Mp3 << QStringLiteral("really-mp3.wav");
    QTest::newRow("avi named .mid") << MediaKind::Avi << QStringLiteral("really-avi.mid");
    QTest::newRow("plain mpeg named .mp3") << MediaKind::DatPlain << QStringLiteral("really-mpeg.mp3");
}

void TestPlaybackEngine::decodesToItsTone()
{
    QFETCH(MediaKind, kind);
    QFETCH(QString, fileName);
    constexpr double Seconds = 1.0;
    const QString path = fileName.isEmpty() ? toneFile(kind, Seconds)
                                            : make(fileName, kind, frequencyOf(kind), Seconds);
    QVERIFY(!path.isEmpty());

    Channel c(false);
    c.setFileName(path);
    c.send("open");
    QVERIFY(c.isOpen());
    QCOMPARE(c.capture.seconds(), 0.0); // "open" alone makes no sound
    c.send("play");
    QTRY_VERIFY_WITH_TIMEOUT(c.hasEnded(), 10000);

    const std::vector<float> heard = c.capture.copy();
    const double length = double(heard.size()) / Rate;
    QVERIFY2(std::abs(length - Seconds) < 0.2, qPrintable(QString::number(length)));

    const double tone = testmedia::soundingFrequency(kind, frequencyOf(kind));
    const double toneSeconds = heardAlone(heard, tone);
    QVERIFY2(toneSeconds > 0.85 * length, qPrintable(QString::number(toneSeconds)));
    const double level = rms(heard, 0.2, length - 0.2);
    const double recordedLevel = testmedia::ToneAmplitude / std::sqrt(2.0);
    if (kind == MediaKind::Mid) {
        // Loud enough to stand beside recorded sound, without clipping.
        QVERIFY2(level > 0.25 * recordedLevel, qPrintable(QString::number(level)));
        QVERIFY2(level < 2 * recordedLevel, qPrintable(QString::number(level)));
    } else {
        QVERIFY2(std::abs(level / recordedLevel - 1) < 0.2, qPrintable(QString::number(level)));
    }
}

void TestPlaybackEngine::specialFileNamesPlay_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("space") << QStringLiteral("two words.wav");
    QTest::newRow("hash") << QStringLiteral("track #1.wav");
    QTest::newRow("percent") << QStringLiteral("100%.wav");
    QTest::newRow("escape-like percent") << QStringLiteral("a%20b.wav");
    QTest::newRow("question mark") << QStringLiteral("why?.wav");
    QTest::newRow("arabic") << QStringLiteral("أغنية.wav");
    QTest::newRow("all together") << QStringLiteral("مزيج #2 ?50% x.mp3");
}

void TestPlaybackEngine::specialFileNamesPlay()
{
    QFETCH(QString, fileName);
    const MediaKind kind = fileName.endsWith(QLatin1String(".mp3")) ? MediaKind::Mp3 : MediaKind::Wav;
    const QString path = make(fileName, kind, 440, 0.6);
    QVERIFY(!path.isEmpty());
    QVERIFY(QFileInfo(path).fileName() == fileName);

    Channel c(false);
    c.setFileName(path);
    c.openAndPlay();
    QTRY_VERIFY_WITH_TIMEOUT(c.hasEnded(), 10000);
    const std::vector<float> heard = c.capture.copy();
    QVERIFY(heard.size() > size_t(0.4 * Rate));
    QVERIFY(heardAlone(heard, 440) > 0.4);
}

void TestPlaybackEngine::badFileStaysClosedAndSilent_data()
{
    QTest::addColumn<QString>("fileName");

    const QString dir = m_dir.path() + QStringLiteral("/bad");
    QVERIFY(QDir().mkpath(dir));
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile file(dir + QLatin1Char('/') + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return file.fileName();
    };

    QRandomGenerator random(20240607);
    QByteArray noise(64 * 1024, '\0');
    for (char &b : noise)
        b = char(random.bounded(256));
    const QString fifo = dir + QStringLiteral("/pipe.wav");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/folder.avi")));

    QTest::newRow("empty name") << QString();
    QTest::newRow("missing file") << dir + QStringLiteral("/nothing here.wav");
    QTest::newRow("zero bytes") << write(QStringLiteral("empty.mp3"), {});
    QTest::newRow("random bytes") << write(QStringLiteral("noise.wma"), noise);
    QTest::newRow("text named .mid") << write(QStringLiteral("notes.mid"), QByteArray("These are not notes.\n").repeated(40));
    QTest::newRow("truncated wav header") << write(QStringLiteral("cut.wav"), QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16));
    QTest::newRow("cdxa without sectors") << write(QStringLiteral("hollow.dat"), testmedia::wrapInCdxa({}));
    QTest::newRow("cdxa of noise") << write(QStringLiteral("noise.dat"), testmedia::wrapInCdxa(noise));
    QTest::newRow("directory") << dir + QStringLiteral("/folder.avi");
    QTest::newRow("fifo") << fifo;
}

void TestPlaybackEngine::badFileStaysClosedAndSilent()
{
    QFETCH(QString, fileName);
    constexpr int Bound = 3000;
    Channel c(false, Bound);
    c.setFileName(fileName);

    c.send("open");
    // Given up within the bound, never blocking the caller.
    QTRY_VERIFY_WITH_TIMEOUT(!c.isOpen(), Bound + 500);

    c.send("play");
    c.send("pause");
    c.send("play");
    QTest::qWait(300);
    QVERIFY(!c.isOpen());
    QCOMPARE(c.capture.seconds(), 0.0);
}

void TestPlaybackEngine::wordsThatCannotApplyDoNothing()
{
    const QString path = toneFile(MediaKind::Wav, 2.0);
    Channel c(true);
    c.setFileName(path);

    // Play, pause and close on a channel that was never opened.
    c.send("play");
    c.send("pause");
    c.send("close");
    QVERIFY(!c.isOpen());

    // Only the exact words count.
    for (const char *word : {"OPEN", "Open", " open", "open ", "", "stop", "resume"})
        c.send(word);
    QVERIFY(!c.isOpen());
    QTest::qWait(200);
    QCOMPARE(c.capture.seconds(), 0.0);

    c.openAndPlay();
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > 0.2, 5000);
    // Unknown words while playing change nothing.
    c.send("stop");
    c.send("PAUSE");
    const double before = c.capture.seconds();
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > before + 0.2, 5000);

    // After "close", "play" alone doesn't reopen the file.
    c.send("close");
    QVERIFY(!c.isOpen());
    c.capture.clear();
    c.send("play");
    QTest::qWait(300);
    QVERIFY(!c.isOpen());
    QCOMPARE(c.capture.seconds(), 0.0);
}

void TestPlaybackEngine::openAndPlayAfterPauseResumes_data()
{
    QTest::addColumn<MediaKind>("kind");
    for (MediaKind kind : {MediaKind::Wav, MediaKind::Mp3, MediaKind::DatCdxa, MediaKind::Mid})
        QTest::newRow(testmedia::kindName(kind)) << kind;
}

void TestPlaybackEngine::openAndPlayAfterPauseResumes()
{
    QFETCH(MediaKind, kind);
    const QString path = toneFile(kind, 2.0);
    QVERIFY(!path.isEmpty());
    Channel c(true);
    c.setFileName(path);
    c.openAndPlay();
    QTRY_VERIFY_WITH_TIMEOUT(!c.capture.copyPieces().empty(), 5000);
    // Program streams may start their clock above 0.
    const double start = c.capture.copyPieces().front().start;
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.streamEnd() > start + 0.7, 5000);
    c.send("pause");
    QTest::qWait(100);
    const double pausedAt = c.capture.streamEnd();
    const size_t piecesBefore = c.capture.copyPieces().size();
    QTest::qWait(300);
    QCOMPARE(c.capture.copyPieces().size(), piecesBefore); // really paused

    c.openAndPlay();
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.copyPieces().size() > piecesBefore + 2, 5000);
    const double resumedAt = c.capture.copyPieces()[piecesBefore].start;
    QVERIFY2(std::abs(resumedAt - pausedAt) < 0.15,
             qPrintable(QStringLiteral("paused at %1, resumed at %2").arg(pausedAt).arg(resumedAt)));
}

void TestPlaybackEngine::openAndPlayAfterTheEndRestarts_data()
{
    QTest::addColumn<MediaKind>("kind");
    for (MediaKind kind : AllKinds)
        QTest::newRow(testmedia::kindName(kind)) << kind;
}

void TestPlaybackEngine::openAndPlayAfterTheEndRestarts()
{
    QFETCH(MediaKind, kind);
    const QString path = toneFile(kind);
    QVERIFY(!path.isEmpty());
    Channel c(false);
    c.setFileName(path);
    c.openAndPlay();
    QTRY_VERIFY_WITH_TIMEOUT(c.hasEnded(), 10000);
    const double firstTime = c.capture.seconds();
    QVERIFY(!c.capture.copyPieces().empty());
    // Program streams may start their clock above 0.
    const double start = c.capture.copyPieces().front().start;
    QVERIFY(firstTime > 0.8);
    // The channel stays open at its end.
    QVERIFY(c.isOpen());

    c.capture.clear();
    c.openAndPlay();
    QTRY_VERIFY_WITH_TIMEOUT(c.hasEnded(), 10000);
    const auto pieces = c.capture.copyPieces();
    QVERIFY(!pieces.empty());
    QVERIFY2(std::abs(pieces.front().start - start) < 0.05,
             qPrintable(QStringLiteral("first from %1, again from %2, %3 s").arg(start).arg(pieces.front().start).arg(c.capture.seconds())));
    QVERIFY2(std::abs(c.capture.seconds() - firstTime) < 0.1, qPrintable(QString::number(c.capture.seconds())));
    QVERIFY(heardAlone(c.capture.copy(), testmedia::soundingFrequency(kind, frequencyOf(kind))) > 0.8 * firstTime);
}

void TestPlaybackEngine::closeReleasesTheFile_data()
{
    QTest::addColumn<MediaKind>("kind");
    QTest::newRow("wav") << MediaKind::Wav;
    QTest::newRow("dat-cdxa") << MediaKind::DatCdxa;
}

void TestPlaybackEngine::closeReleasesTheFile()
{
    QFETCH(MediaKind, kind);
    const QString path = make(QStringLiteral("to-move") + testmedia::suffixFor(kind), kind, 440, 2.0);
    QVERIFY(!path.isEmpty());
    Channel c(true);
    c.setFileName(path);
    c.openAndPlay();
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > 0.2, 5000);
    QVERIFY(fileIsOpenHere(path));
    const double start = c.capture.copyPieces().front().start;

    c.send("close");
    QVERIFY(!c.isOpen());
    QVERIFY(!fileIsOpenHere(path));
    const double atClose = c.capture.seconds();
    QTest::qWait(300);
    QCOMPARE(c.capture.seconds(), atClose);

    // The file can be moved; "open" takes the name that is set now, from the start.
    const QString moved = path + QStringLiteral(".moved") + testmedia::suffixFor(kind);
    QVERIFY(QFile::rename(path, moved));
    c.send("open");
    QVERIFY(!c.isOpen());
    c.setFileName(moved);
    c.capture.clear();
    c.openAndPlay();
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > 0.2, 5000);
    QVERIFY(std::abs(c.capture.copyPieces().front().start - start) < 0.05);
    c.send("close");
    QVERIFY(QFile::remove(moved));
}

void TestPlaybackEngine::destroyingWhilePlayingReturnsPromptly_data()
{
    QTest::addColumn<MediaKind>("kind");
    for (MediaKind kind : {MediaKind::Wav, MediaKind::Avi, MediaKind::DatCdxa, MediaKind::Mid})
        QTest::newRow(testmedia::kindName(kind)) << kind;
}

void TestPlaybackEngine::destroyingWhilePlayingReturnsPromptly()
{
    QFETCH(MediaKind, kind);
    const QString path = toneFile(kind, 2.0);
    QVERIFY(!path.isEmpty());
    Channel c(true);
    c.setFileName(path);
    c.openAndPlay();
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > 0.2, 5000);
    QElapsedTimer timer;
    timer.start();
    c.engine.reset();
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!fileIsOpenHere(path));
}

void TestPlaybackEngine::closingOneChannelLeavesTheOtherPlaying()
{
    Channel c(true);
    c.setFileName(toneFile(MediaKind::Avi, 2.0), 0);
    c.setFileName(toneFile(MediaKind::Mp3, 2.0), 1);
    c.openAndPlay(0);
    c.openAndPlay(1);
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > 0.5, 5000);
    c.send("close", 0);
    const double atClose = c.capture.seconds();
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > atClose + 0.5, 5000);
    QVERIFY(c.isPlaying(1) && !c.isOpen(0));
    const auto after = c.capture.copy();
    const std::vector<float> tail(after.begin() + qsizetype((atClose + 0.1) * Rate), after.end());
    QVERIFY(heardAlone(tail, frequencyOf(MediaKind::Mp3)) > 0.3);
}

// Two noise files 6 dB apart: matched, each channel alone measures as loud as
// the other, the quieter one untouched.
void TestPlaybackEngine::matchedChannelsAreEquallyLoud()
{
    QString files[2];
    for (int channel : {0, 1}) {
        quint32 seed = 12345u + quint32(channel);
        const double amplitude = channel == 0 ? 0.3 : 0.15;
        files[channel] = testmedia::writeWav(m_dir.filePath(QStringLiteral("noise%1.wav").arg(channel)), 8,
                                             [&seed, amplitude](int, int) {
                                                 seed = seed * 1664525u + 1013904223u;
                                                 return amplitude * (double(seed) / 4294967296.0 * 2 - 1);
                                             });
    }
    Channel c(true);
    c.engine->setMatchLoudness(true);
    c.setFileName(files[0], 0);
    c.setFileName(files[1], 1);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(c.engine->loudnessGainDb(0) + 6.02) < 0.2, 30000);
    QCOMPARE(c.engine->loudnessGainDb(1), 0.0);
    c.engine->setSolo(0);
    c.openAndPlayBoth();
    double alone[2];
    for (int channel : {0, 1}) {
        c.engine->setSolo(channel);
        // Past what the mix had made before the change.
        const double from = c.capture.seconds() + 0.5;
        QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > from + 1.5, 8000);
        const auto sound = c.capture.copy();
        const auto lufs = integratedLoudness(sound.data() + qsizetype(from * Rate), size_t(1.5 * Rate), 1, Rate);
        QVERIFY(lufs);
        alone[channel] = *lufs;
    }
    QVERIFY2(std::abs(alone[0] - alone[1]) < 0.5, qPrintable(QStringLiteral("%1 and %2 LUFS").arg(alone[0]).arg(alone[1])));
}

void TestPlaybackEngine::offsetsPlaceEachChannelOnTheTimeline_data()
{
    QTest::addColumn<int>("offsetMs");
    QTest::newRow("later") << 250;
    QTest::newRow("start skipped") << -300;
}

// Channel 2's tone starts 1 s into its file, so on the timeline at
// 1 s + its offset, whatever happened before: a start, a seek, a pause, a
// change while playing. Channel 1 plays on meanwhile.
void TestPlaybackEngine::offsetsPlaceEachChannelOnTheTimeline()
{
    QFETCH(int, offsetMs);
    constexpr double ToneAt = 1.0, Changed = 0.2, High = 1000;
    const double low = frequencyOf(MediaKind::Wav);
    const QString late = testmedia::writeWav(m_dir.filePath(QStringLiteral("late.wav")), 3, [](int frame, int) {
        const double t = double(frame) / Rate;
        return t < ToneAt ? 0.0 : 0.3 * std::sin(2 * M_PI * High * t);
    });
    Channel c(true);
    c.engine->setOffset(1, offsetMs);
    c.setFileName(toneFile(MediaKind::Wav, 3.0), 0);
    c.setFileName(late, 1);
    // Each tone's onset on the timeline, in what was heard from `from` on.
    const auto onsetsFrom = [&c, low, high = High](double from) {
        QElapsedTimer waited;
        waited.start();
        while (c.capture.seconds() < from + 1.8 && waited.elapsed() < 8000)
            QTest::qWait(20);
        const auto sound = c.capture.copy();
        const std::vector<float> part(sound.begin() + qsizetype(from * Rate), sound.end());
        std::pair<double, double> onsets;
        for (auto [frequency, onset] : {std::pair{low, &onsets.first}, std::pair{high, &onsets.second}}) {
            const double at = tones::onsetSeconds(part, Rate, frequency);
            *onset = at < 0 ? -1 : c.capture.timelineAt(size_t((from + at) * Rate));
        }
        return onsets;
    };
    const auto near = [](double heard, double expected) {
        return QStringLiteral("heard at %1 s, expected %2 s").arg(heard).arg(expected).toLocal8Bit();
    };
    double expected = ToneAt + offsetMs / 1000.0;

    c.openAndPlayBoth();
    // Channel 1 at 0, but for the engine's own delay (the limiter's
    // look-ahead), which is the same for both.
    auto [delay, second] = onsetsFrom(0);
    QVERIFY2(delay >= 0 && delay < 0.01, near(delay, 0).constData());
    expected += delay;
    QVERIFY2(std::abs(second - expected) < 0.001, near(second, expected).constData());

    // Back before the tone, moved while paused, and on again.
    double from = c.capture.seconds();
    c.engine->seekTo(0);
    c.send("pause", 0);
    c.send("pause", 1);
    QTest::qWait(300);
    c.engine->setOffset(1, offsetMs + Changed * 500);
    c.openAndPlayBoth();
    second = onsetsFrom(from).second;
    QVERIFY2(std::abs(second - (expected + Changed / 2)) < 0.001, near(second, expected + Changed / 2).constData());

    // Moved while playing: channel 2 alone; channel 1 goes on with no gap.
    from = c.capture.seconds();
    c.engine->seekTo(0);
    QTest::qWait(300); // back before the tone first: the move is what is tested
    c.engine->setOffset(1, offsetMs + Changed * 1000);
    second = onsetsFrom(from).second;
    QVERIFY2(std::abs(second - (expected + Changed)) < 0.001, near(second, expected + Changed).constData());
    const auto sound = c.capture.copy();
    const std::vector<float> after(sound.begin() + qsizetype((from + 0.1) * Rate), sound.end());
    const auto heard = tones::findTones(after, Rate, {low, High});
    QVERIFY2(heard[0].heardSeconds > double(after.size()) / Rate - 0.1, "channel 1 went on");

    // Its place in its file is the timeline's less its offset; the length
    // is where the later one ends.
    const qint64 offset = offsetMs + qint64(Changed * 1000);
    QVERIFY(std::abs(c.engine->channelPositionMs(1) - (c.engine->positionMs() - offset)) < 20);
    QCOMPARE(c.engine->durationMs(), std::max<qint64>(3000, 3000 + offset));
}

// Both channels in one mix: they start on the same sample, after Play and
// after a pause, each at its own volume, and a seek moves both.
void TestPlaybackEngine::channelsShareOneTimeline()
{
    const double low = frequencyOf(MediaKind::Wav), high = frequencyOf(MediaKind::Mp3);
    const QString wav = toneFile(MediaKind::Wav, 3.0), mp3 = toneFile(MediaKind::Mp3, 3.0);
    // The encoder's delay, from the file alone: the engine's own delay (the
    // limiter's look-ahead) is the same for both channels.
    const double mp3LeadIn = tones::onsetSeconds(testmedia::decodeMono(mp3, Rate), Rate, high);

    Channel c(true);
    c.setFileName(wav, 0);
    c.setFileName(mp3, 1);
    c.openAndPlayBoth();
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > 0.6, 5000);
    c.send("pause", 0);
    c.send("pause", 1);
    const double pausedAt = c.capture.seconds();
    c.engine->setVolume(1, 0.7);
    QTest::qWait(200);
    c.openAndPlayBoth();
    QTRY_VERIFY_WITH_TIMEOUT(c.capture.seconds() > pausedAt + 0.4, 5000);
    const auto sound = c.capture.copy();
    const double skew = tones::onsetSeconds(sound, Rate, low) - (tones::onsetSeconds(sound, Rate, high) - mp3LeadIn);
    QVERIFY2(std::abs(skew) < 0.002, qPrintable(QString::number(skew)));
    // The pause left no gap in the mix: one tone goes on where the other does.
    QVERIFY2(std::abs(heardAlone(sound, low) - heardAlone(sound, high)) < 0.02, "both paused and resumed together");
    // The perceptual scale is cubic: 70 % is a third in amplitude.
    const std::vector<float> resumed(sound.begin() + qsizetype((pausedAt + 0.1) * Rate), sound.end());
    const auto levels = tones::findTones(resumed, Rate, {low, high});
    const double ratio = levels[1].level / levels[0].level;
    QVERIFY2(std::abs(ratio - 0.343) < 0.03, qPrintable(QString::number(ratio)));

    c.engine->seekTo(2500);
    QTRY_VERIFY_WITH_TIMEOUT(!c.isPlaying(0) && !c.isPlaying(1), 3000);
    QVERIFY(c.capture.streamEnd() > 2.9);
}

static int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

void TestPlaybackEngine::aLoopingChannelHasNoSeam_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("frequency"); // whole cycles in the file
    QTest::newRow("one second") << 1.0 << 440.0;
    // Twenty rounds a second, each a branch of its own, some still starting
    // when the start's grace ends: the loop must go on seamlessly, hear every
    // round as a loop, and let each go once it is mixed.
    QTest::newRow("fifty milliseconds") << 0.05 << 500.0;
}

// A file of whole cycles, looped: what comes out is one unbroken tone, every
// sample where the tone has it, while the other channel goes on; once the
// loop is switched off the channel ends at the file's end.
void TestPlaybackEngine::aLoopingChannelHasNoSeam()
{
    QFETCH(double, seconds);
    QFETCH(double, frequency);
    const double amplitude = 0.4;
    const QString loop = testmedia::writeWav(m_dir.filePath("loop.wav"), seconds, [&](int f, int) {
        return amplitude * std::sin(2 * M_PI * frequency * f / Rate);
    });
    const QString other = toneFile(MediaKind::Wav, 30.0);
    // In real time, so that the other channel is still playing at the end.
    Channel c(true);
    c.setFileName(loop, 0);
    c.setFileName(other, 1);
    c.engine->setLooping(0, true);
    c.engine->setVolume(1, 0); // the other channel's sound would hide the seams
    c.openAndPlay(0);
    c.openAndPlay(1);
    int threads = 0;
    QTRY_VERIFY_WITH_TIMEOUT((threads = std::max(threads, threadCount()), c.capture.seconds() > 3.5), 15000);
    QVERIFY(c.isPlaying(0) && c.isPlaying(1));
    const qint64 length = qRound64(seconds * 1000);
    QVERIFY(c.engine->channelPositionMs(0) <= length);
    QCOMPARE(c.engine->channelDurationMs(0), length);
    QVERIFY2(threads < 60, qPrintable(QStringLiteral("%1 threads: finished rounds kept").arg(threads)));
    c.engine->setLooping(0, false);
    QTRY_VERIFY_WITH_TIMEOUT(c.hasEnded(0), 5000);
    QVERIFY(c.isPlaying(1));
    const std::vector<float> x = c.capture.copy();

    // The tone's phase at its first full sample; then sample by sample.
    const auto first = std::find_if(x.begin(), x.end(), [](float v) { return std::abs(v) > 0.01f; }) - x.begin();
    const double phase = std::asin(std::clamp(x[first] / amplitude, -1.0, 1.0))
                         - (x[first + 1] >= x[first] ? 0 : M_PI - 2 * std::asin(std::clamp(x[first] / amplitude, -1.0, 1.0)));
    const qsizetype start = first - qsizetype(std::lround(phase / (2 * M_PI * frequency) * Rate));
    double worst = 0;
    qsizetype rounds = 0;
    for (qsizetype i = first; i < first + qsizetype(3 * Rate); ++i) {
        const double ideal = amplitude * std::sin(2 * M_PI * frequency * double(i - start) / Rate);
        worst = std::max(worst, std::abs(x[size_t(i)] - ideal));
        rounds = (i - start) / qRound64(seconds * Rate);
    }
    qInfo("%lld seams, largest difference from the unbroken tone %.5f, %d threads at most", rounds, worst, threads);
    QVERIFY(rounds >= 2);
    QVERIFY2(worst < 0.002, "a gap, a click, or a sample lost or repeated at a seam");
}

void TestPlaybackEngine::sectorLayoutOfVideoCdFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("found");
    QTest::addColumn<qint64>("dataOffset");
    QTest::addColumn<qint64>("sectorCount");

    const QByteArray stream(3 * SectorReader::SectorPayloadSize + 10, 'x');
    const QByteArray cdxa = testmedia::wrapInCdxa(stream);
    QTest::newRow("riff cdxa") << cdxa << true << qint64(44) << qint64(4);

    // A chunk of odd size before "data" is padded to an even length.
    QByteArray extra = cdxa;
    extra.insert(12, QByteArray("LIST\x03\x00\x00\x00" "abc\0", 12));
    QTest::newRow("odd chunk before data") << extra << true << qint64(56) << qint64(4);

    QByteArray cut = cdxa;
    cut.chop(SectorReader::RawSectorSize + 5);
    QTest::newRow("last sectors cut off") << cut << true << qint64(44) << qint64(2);

    QTest::newRow("bare sectors") << cdxa.mid(44) << true << qint64(0) << qint64(4);
    QTest::newRow("bare sectors, partial") << cdxa.mid(44).chopped(7) << false << qint64(0) << qint64(0);

    QByteArray wave = cdxa;
    wave.replace(8, 4, "WAVE");
    QTest::newRow("riff wave") << wave << false << qint64(0) << qint64(0);
    QTest::newRow("cdxa header only") << cdxa.left(20) << false << qint64(0) << qint64(0);
    QTest::newRow("program stream") << QByteArray("\x00\x00\x01\xba", 4) + stream << false << qint64(0) << qint64(0);
}

void TestPlaybackEngine::sectorLayoutOfVideoCdFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, found);
    QFETCH(qint64, dataOffset);
    QFETCH(qint64, sectorCount);
    const QString path = m_dir.filePath(QStringLiteral("layout.dat"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    for (const auto &layout : {SectorReader::findLayout(path), SectorReader::findLayout(buffer)}) {
        QCOMPARE(layout.found, found);
        if (found) {
            QCOMPARE(layout.dataOffset, dataOffset);
            QCOMPARE(layout.sectorCount, sectorCount);
        }
    }
}

QTEST_GUILESS_MAIN(TestPlaybackEngine)
#include "tst_playback_engine.moc"
