// The real program under the test X server, driven with xdotool, heard by
// recording the PulseAudio null sink.
#include "MediaFiles.h"
#include "PlayerDriver.h"
#include "SinkRecorder.h"
#include "ToneAnalysis.h"

#include <QtTest>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

#include <functional>
#include <numeric>

using testmedia::MediaKind;
using namespace playerdriver;

namespace {

constexpr double Low = 440;
constexpr double High = 1000;
constexpr double FileSeconds = 4.0;

// The stretch [from, to) of a recording, in seconds.
std::vector<float> slice(const std::vector<float> &all, double from, double to)
{
    const auto rate = tones::SinkRecorder::SampleRate;
    const auto begin = std::clamp<std::size_t>(std::size_t(std::max(0.0, from) * rate), 0, all.size());
    const auto end = std::clamp<std::size_t>(std::size_t(std::max(0.0, to) * rate), begin, all.size());
    return {all.begin() + qsizetype(begin), all.begin() + qsizetype(end)};
}

struct Heard
{
    bool low, high;
    double lowSeconds, highSeconds;
};

Heard heard(const std::vector<float> &all, double from, double to)
{
    const auto found = tones::findTones(slice(all, from, to), tones::SinkRecorder::SampleRate, {Low, High});
    qInfo("%.2f..%.2f s: %g Hz %s (%.2f s), %g Hz %s (%.2f s)", from, std::min(to, 999.0), Low,
          found[0].present ? "heard" : "silent", found[0].heardSeconds, High, found[1].present ? "heard" : "silent",
          found[1].heardSeconds);
    return {found[0].present, found[1].present, found[0].heardSeconds, found[1].heardSeconds};
}

// The test's sound server, stopped and started again; it is back up when
// the test ends, whatever happened.
struct SoundServer
{
    static bool run(const char *what)
    {
        return QProcess::execute(qEnvironmentVariable("TANDRA_SOUND_SERVER"), {QString::fromLatin1(what)}) == 0;
    }
    bool down = false;
    bool stop() { return down = run("stop"); }
    bool start() { return !(down = !run("start")); }
    ~SoundServer()
    {
        if (down)
            run("start");
    }
};

// A session bus of the test's own, and playerctl on it.
struct PrivateBus
{
    QProcess daemon;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    bool start()
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForReadyRead(5000))
            return false;
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(daemon.readLine()).trimmed());
        return true;
    }
    // The player on this bus, started with the files, once the desktop sees it.
    bool startPlayer(Player &player, const QStringList &files)
    {
        player.process().setProcessEnvironment(env);
        if (!player.start(files))
            return false;
        for (int waited = 0; waited < 5000 && playerctl({"status"}) != QLatin1String("Stopped"); waited += 100)
            QTest::qWait(100);
        return playerctl({"status"}) == QLatin1String("Stopped");
    }
    QString playerctl(const QStringList &command)
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start("playerctl", QStringList{"--player=tandra"} + command);
        p.waitForFinished(5000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    ~PrivateBus()
    {
        daemon.terminate();
        daemon.waitForFinished();
    }
};

// A tone's amplitude, window by window (10 ms, Hann), from `from` to `to` s.
std::vector<double> envelope(const std::vector<float> &x, double frequency, double from, double to)
{
    const int rate = tones::SinkRecorder::SampleRate, n = rate / 100;
    std::vector<double> levels;
    for (auto start = std::size_t(from * rate); start + std::size_t(n) <= std::min(x.size(), std::size_t(to * rate));
         start += std::size_t(n) / 2) {
        double re = 0, im = 0;
        for (int i = 0; i < n; ++i) {
            const double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1)), t = double(start + std::size_t(i)) / rate;
            re += w * x[start + std::size_t(i)] * std::cos(2 * M_PI * frequency * t);
            im += w * x[start + std::size_t(i)] * std::sin(2 * M_PI * frequency * t);
        }
        levels.push_back(4 * std::hypot(re, im) / n);
    }
    return levels;
}

} // namespace

class PlayerE2ETest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_lowFile;
    QString m_highFile;

private slots:
    void initTestCase()
    {
        if (!playerdriver::testEnvironmentPresent())
            QSKIP("needs the X server and null sink of scripts/with-test-env.sh");
        QVERIFY(m_dir.isValid());
        m_lowFile = testmedia::makeToneFile(m_dir.path(), "low-440.wav", MediaKind::Wav, Low, FileSeconds);
        m_highFile = testmedia::makeToneFile(m_dir.path(), "high-1000.mp3", MediaKind::Mp3, High, FileSeconds);
        QVERIFY(!m_lowFile.isEmpty() && !m_highFile.isEmpty());
    }

    void bothChannelsPlayPauseResumeAndStop()
    {
        Player player;
        QVERIFY(player.start());
        QVERIFY(player.choose(Channel1, m_lowFile));
        QVERIFY(player.choose(Channel2, m_highFile));

        tones::SinkRecorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(500);
        // Each click is timed before it is sent and after it has returned.
        const double played = recorder.elapsedSeconds();
        player.click(PlayButton);
        QTest::qWait(1500);
        const double pausing = recorder.elapsedSeconds();
        player.click(PauseButton);
        const double paused = recorder.elapsedSeconds();
        QTest::qWait(1200);
        const double resumed = recorder.elapsedSeconds();
        player.click(PlayButton);
        QTest::qWait(4000); // longer than what is left of the files
        player.click(StopButton);
        const double replayed = recorder.elapsedSeconds();
        player.click(PlayButton); // after Stop the files start again
        QTest::qWait(1200);
        player.click(StopButton);
        const double stopped = recorder.elapsedSeconds();
        QTest::qWait(1000);
        const std::vector<float> sound = recorder.stop();

        const Heard before = heard(sound, 0, played);
        QVERIFY2(!before.low && !before.high, "sound before Play");

        const Heard playing = heard(sound, played + 0.4, pausing);
        QVERIFY2(playing.low && playing.high, "both channels sound together after Play");

        const Heard whilePaused = heard(sound, paused + 0.3, resumed);
        QVERIFY2(!whilePaused.low && !whilePaused.high, "silence while paused");

        // Resumed where it paused: what is left is the file less what played.
        const Heard afterResume = heard(sound, resumed, replayed - 0.1);
        const double playedBefore = (pausing + paused) / 2 - played;
        QVERIFY2(afterResume.low && afterResume.high, "both go on after Play");
        for (double seconds : {afterResume.lowSeconds, afterResume.highSeconds})
            QVERIFY2(std::abs(seconds - (FileSeconds - playedBefore)) < 0.6,
                     qPrintable(QStringLiteral("heard %1 s after resuming, expected about %2 s")
                                    .arg(seconds).arg(FileSeconds - playedBefore)));

        // One sample clock for both: they start together and resume together.
        const double mp3LeadIn = tones::onsetSeconds(testmedia::decodeMono(m_highFile, tones::SinkRecorder::SampleRate),
                                                     tones::SinkRecorder::SampleRate, High);
        const auto onset = [&](double frequency, double from) {
            return tones::onsetSeconds(slice(sound, from, pausing), tones::SinkRecorder::SampleRate, frequency);
        };
        const double startSkew = onset(Low, played) - (onset(High, played) - mp3LeadIn);
        const auto resumedSound = slice(sound, resumed, replayed);
        const double resumeSkew = tones::onsetSeconds(resumedSound, tones::SinkRecorder::SampleRate, Low)
                                  - tones::onsetSeconds(resumedSound, tones::SinkRecorder::SampleRate, High);
        qInfo("start skew %.1f ms, after resuming %.1f ms", 1000 * startSkew, 1000 * resumeSkew);
        // A start that loses the WAV's first milliseconds shows as skew here.
        QVERIFY2(std::abs(startSkew) < 0.003 && std::abs(resumeSkew) < 0.003, "both channels on the same sample");

        // Resumed without a break: the sound server plays at once what it
        // still held from before the pause, and the rest must join it.
        const double lowBack =
            resumed + tones::onsetSeconds(resumedSound, tones::SinkRecorder::SampleRate, Low);
        const std::vector<double> levels = envelope(sound, Low, lowBack + 0.02, lowBack + 1.0);
        QVERIFY(!levels.empty());
        QVERIFY2(*std::min_element(levels.begin(), levels.end()) > 0.5 * *std::max_element(levels.begin(), levels.end()),
                 "a break in the sound after resuming");

        const Heard again = heard(sound, replayed + 0.4, stopped);
        QVERIFY2(again.low && again.high, "Play after Stop plays both again");
        const Heard afterStop = heard(sound, stopped + 0.3, 1e9);
        QVERIFY2(!afterStop.low && !afterStop.high, "silence after Stop");
    }

    // A channel without a file leaves the other alone; one that has ended
    // plays again whole beside the other, which goes on.
    void oneChannelGoesOnAlone()
    {
        const QString shortLow = testmedia::makeToneFile(m_dir.path(), "short-440.wav", MediaKind::Wav, Low, 1.5);
        const QString longHigh = testmedia::makeToneFile(m_dir.path(), "long-1000.mp3", MediaKind::Mp3, High, 12);
        Player player;
        QVERIFY(player.start());
        QVERIFY(player.choose(Channel2, longHigh));
        tones::SinkRecorder recorder;
        QVERIFY(recorder.start());
        player.click(PlayButton);
        const double played = recorder.elapsedSeconds();
        QTest::qWait(1500);
        const double alone = recorder.elapsedSeconds();
        QVERIFY(player.choose(Channel1, shortLow)); // stops both
        player.click(PlayButton);
        QTest::qWait(2500);
        const double replayed = recorder.elapsedSeconds();
        player.click(PauseButton);
        player.click(PlayButton);
        QTest::qWait(2500);
        const std::vector<float> sound = recorder.stop();
        const Heard h = heard(sound, played + 0.4, alone);
        QVERIFY2(h.high && !h.low, "channel 2 plays alone");
        const Heard again = heard(sound, replayed, 1e9);
        QVERIFY2(std::abs(again.lowSeconds - 1.5) < 0.05 && again.high,
                 qPrintable(QStringLiteral("the ended channel plays again whole: %1 s").arg(again.lowSeconds)));
        QCOMPARE(player.process().state(), QProcess::Running);
    }

    // Files from the command line, worked from the desktop's side through
    // MPRIS on a private session bus.
    void playerctlOnAPrivateBus()
    {
        PrivateBus bus;
        QVERIFY2(bus.start(), "dbus-daemon gave no address");
        const auto playerctl = [&bus](const QStringList &command) { return bus.playerctl(command); };
        Player player;
        QVERIFY(bus.startPlayer(player, {m_lowFile, m_highFile}));
        QCOMPARE(playerctl({"metadata", "xesam:title"}), QStringLiteral("low-440.wav + high-1000.mp3"));

        tones::SinkRecorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(500);
        double at[5];
        const char *steps[] = {"play", "pause", "play-pause", "stop"};
        const char *statuses[] = {"Playing", "Paused", "Playing", "Stopped"};
        for (int i = 0; i < 4; ++i) {
            at[i] = recorder.elapsedSeconds();
            playerctl({steps[i]});
            QTRY_COMPARE_WITH_TIMEOUT(playerctl({"status"}), QString(statuses[i]), 5000);
            QTest::qWait(1300);
        }
        at[4] = recorder.elapsedSeconds();
        const std::vector<float> sound = recorder.stop();
        const Heard before = heard(sound, 0, at[0]);
        QVERIFY2(!before.low && !before.high, "nothing plays until Play");
        for (int i = 0; i < 4; ++i) {
            const Heard h = heard(sound, at[i] + 0.5, at[i + 1]);
            const bool sounding = i % 2 == 0;
            QVERIFY2(h.low == sounding && h.high == sounding, steps[i]);
        }
    }

    // What reaches the sink is the files: one alone sample for sample, two
    // quiet ones as their exact sum, two loud ones limited, never clipped.
    void theMixIsTheFiles_data()
    {
        QTest::addColumn<double>("level1");
        QTest::addColumn<double>("level2"); // 0: channel 2 has no file
        QTest::addColumn<bool>("exact");
        QTest::newRow("one file alone") << 0.25 << 0.0 << true;
        QTest::newRow("two files summing under full scale") << 0.3 << 0.3 << true;
        QTest::newRow("two loud files") << 0.9 << 0.9 << false;
    }
    void theMixIsTheFiles()
    {
        QFETCH(double, level1);
        QFETCH(double, level2);
        QFETCH(bool, exact);
        // Noise in the quiet files, so that only one alignment matches; loud
        // tones whose sum nearly doubles.
        QRandomGenerator noise(7);
        const auto file = [&](const char *name, double level, double frequency) {
            const double rate = tones::SinkRecorder::SampleRate;
            return testmedia::writeWav(m_dir.filePath(name), 4, [&](int f, int c) {
                return exact ? level * (2 * noise.generateDouble() - 1) * (c ? 0.8 : 1)
                             : level * std::sin(2 * M_PI * frequency * f / rate);
            });
        };
        QStringList files{file("mix1.wav", level1, Low)};
        if (level2 > 0)
            files << file("mix2.wav", level2, High);
        std::vector<qint32> expected = testmedia::readWav16(files[0]);
        if (files.size() > 1) {
            const std::vector<qint32> second = testmedia::readWav16(files[1]);
            for (std::size_t i = 0; i < expected.size(); ++i)
                expected[i] += second[i];
        }

        Player player;
        QVERIFY(player.start(files));
        tones::SinkRecorder recorder(2);
        QVERIFY(recorder.start());
        QTest::qWait(500);
        player.click(PlayButton);
        QTest::qWait(3000);
        player.click(StopButton);
        QTest::qWait(300);
        std::vector<qint32> heard;
        for (float x : recorder.stop())
            heard.push_back(qint32(std::lround(x * 32768)));

        const auto fullScale = std::count_if(heard.begin(), heard.end(), [](qint32 x) { return x >= 32767 || x <= -32768; });
        const auto peak = std::accumulate(heard.begin(), heard.end(), 0, [](qint32 m, qint32 x) { return std::max(m, std::abs(x)); });
        qInfo("%d samples at full scale, peak %d", int(fullScale), peak);
        QCOMPARE(fullScale, 0);
        if (!exact) {
            QVERIFY2(peak > 0.9 * 32768, "the loud sum comes out loud, just under full scale");
            return;
        }
        // Aligned where the files' first 20 ms match best; then every sample
        // of two seconds from there must be the file's.
        const auto firstSound = std::find_if(heard.begin(), heard.end(), [](qint32 x) { return x != 0; }) - heard.begin();
        const std::size_t probe = 2 * 960, stretch = 2 * 96000;
        std::size_t best = 0, bestMatches = 0;
        for (qsizetype at = std::max<qsizetype>(0, firstSound - 2000) & ~1; at < firstSound + 2000; at += 2) {
            std::size_t matches = 0;
            for (std::size_t i = 0; i < probe && std::size_t(at) + i < heard.size(); ++i)
                matches += heard[std::size_t(at) + i] == expected[i];
            if (matches > bestMatches)
                std::tie(best, bestMatches) = std::make_pair(std::size_t(at), matches);
        }
        QVERIFY2(best + stretch <= heard.size(), "the recording holds two seconds of the files");
        std::size_t equal = 0;
        for (std::size_t i = 0; i < stretch; ++i)
            equal += heard[best + i] == expected[i];
        qInfo("%zu of %zu samples equal to the files", equal, stretch);
        QCOMPARE(equal, stretch);
    }

    // The sound server restarts under the playing channels: they go on by
    // themselves, together; when it stays away the transport still works.
    void soundServerGoneAndBack()
    {
        const QString low = testmedia::writeWav(m_dir.filePath("gone-low.wav"), 7, [](int f, int) { return 0.3 * std::sin(2 * M_PI * Low * f / 48000); });
        const QString high = testmedia::writeWav(m_dir.filePath("gone-high.wav"), 7, [](int f, int) { return 0.3 * std::sin(2 * M_PI * High * f / 48000); });
        PrivateBus bus;
        QVERIFY(bus.start());
        Player player;
        QVERIFY(bus.startPlayer(player, {low, high}));
        player.click(PlayButton);
        QTest::qWait(1500);
        SoundServer server;
        QVERIFY(server.stop());
        QTest::qWait(2000);
        QCOMPARE(bus.playerctl({"status"}), QStringLiteral("Playing")); // the looks stay true
        QVERIFY(server.start());
        tones::SinkRecorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(7000); // past the files' end
        const std::vector<float> sound = recorder.stop();
        const auto found = tones::findTones(sound, tones::SinkRecorder::SampleRate, {Low, High});
        qInfo("back %.2f s after the server; %.2f s and %.2f s heard", found[0].firstHeardSeconds,
              found[0].heardSeconds, found[1].heardSeconds);
        QVERIFY2(found[0].present && found[1].present, "both channels came back by themselves");
        QVERIFY2(found[0].heardSeconds < 6.5, "they went on from where they were, not from the start");
        const double lowEnd = found[0].firstHeardSeconds + found[0].heardSeconds;
        const double highEnd = found[1].firstHeardSeconds + found[1].heardSeconds;
        QVERIFY2(std::abs(lowEnd - highEnd) < 0.015, "still on the same sample");

        // Away for good: Play waits, Pause and Stop work, the window answers.
        QVERIFY(server.stop());
        for (const char *step : {"play", "pause", "stop", "play"}) {
            bus.playerctl({step});
            const QString status = QString::fromLatin1(step) == "play" ? "Playing" : QString::fromLatin1(step) == "pause" ? "Paused" : "Stopped";
            QTRY_COMPARE_WITH_TIMEOUT(bus.playerctl({"status"}), status, 5000);
        }
        player.key("ctrl+g");
        QTRY_COMPARE_WITH_TIMEOUT(player.process().state(), QProcess::NotRunning, 5000);
        QCOMPARE(player.process().exitCode(), 0);
    }

    // Nothing on stderr in normal use, with channel 2 empty and no session
    // bus; QT_LOGGING_RULES brings the information lines back.
    void quietInNormalUse_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("printed");
        QTest::newRow("by default") << "" << "";
        QTest::newRow("information asked for") << "tandra.*=true" << "tandra.app: no D-Bus session bus";
    }

    void quietInNormalUse()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_dir.filePath("no-bus"));
        QFETCH(QString, rules);
        env.insert("QT_LOGGING_RULES", rules);
        Player player(QStringLiteral(TANDRA_BINARY), true);
        player.process().setProcessEnvironment(env);
        QVERIFY(player.start({m_lowFile}));
        player.click(PlayButton);
        QTest::qWait(1000);
        player.click(StopButton);
        QTest::qWait(300);
        QFETCH(QString, printed);
        const QByteArray errors = player.errors();
        QVERIFY2(errors.startsWith(printed.toUtf8()) && errors.isEmpty() == printed.isEmpty()
                     && !errors.contains("cannot open"), errors.constData());
    }

    // A one-second file of whole cycles, looped from the desktop's side: one
    // unbroken tone with no dip or jump at its seams, while channel 2 goes on
    // unchanged; switched off, the loop ends at the file's end.
    void aLoopIsHeardWithoutSeams()
    {
        const QString loop = testmedia::writeWav(m_dir.filePath("loop-440.wav"), 1, [](int f, int) { return 0.3 * std::sin(2 * M_PI * Low * f / 48000); });
        const QString other = testmedia::writeWav(m_dir.filePath("other-1000.wav"), 12, [](int f, int) { return 0.3 * std::sin(2 * M_PI * High * f / 48000); });
        PrivateBus bus;
        QVERIFY(bus.start());
        Player player;
        QVERIFY(bus.startPlayer(player, {loop, other}));
        bus.playerctl({"loop", "Track"});
        QTRY_COMPARE_WITH_TIMEOUT(bus.playerctl({"loop"}), QStringLiteral("Track"), 5000);
        tones::SinkRecorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(300);
        player.click(PlayButton);
        QTest::qWait(4500);
        const double loopOff = recorder.elapsedSeconds();
        bus.playerctl({"loop", "None"});
        QTest::qWait(2500);
        const std::vector<float> sound = recorder.stop();

        const double start = tones::onsetSeconds(sound, tones::SinkRecorder::SampleRate, Low);
        QVERIFY(start > 0);
        for (double frequency : {Low, High}) {
            const std::vector<double> levels = envelope(sound, frequency, start + 0.05, loopOff);
            const auto [lowest, highest] = std::minmax_element(levels.begin(), levels.end());
            qInfo("%g Hz over %.1f s: level %.3f to %.3f", frequency, loopOff - start, *lowest, *highest);
            QVERIFY2(*lowest > 0.9 * *highest, "a dip or a jump in the level");
        }
        const auto after = tones::findTones(std::vector<float>(sound.begin() + qsizetype(loopOff * 48000), sound.end()),
                                            tones::SinkRecorder::SampleRate, {Low, High});
        qInfo("after the loop was switched off: %g Hz for %.2f s", Low, after[0].heardSeconds);
        QVERIFY2(after[0].heardSeconds < 1.05 && after[1].heardSeconds > 2.3, "the loop ends at the file's end, channel 2 goes on");
    }

    // Channel 2 a quarter second later, on the same sample clock; then keys
    // 2, 1 and 0 change only what is heard, each with a crossfade, no click.
    void linesUpAndCompares()
    {
        constexpr int Rate = tones::SinkRecorder::SampleRate;
        constexpr double LeadIn = 0.6, Amplitude = 0.3;
        QString files[2];
        for (int i : {0, 1}) {
            const double frequency = i == 0 ? Low : High;
            files[i] = testmedia::writeWav(m_dir.filePath(QStringLiteral("lead-in-%1.wav").arg(i)), 10,
                                           [frequency](int f, int) {
                                               const double t = double(f) / Rate;
                                               // Off zero where a mix block may start.
                                               return t < LeadIn ? 0.0 : Amplitude * std::sin(2 * M_PI * frequency * t + 1);
                                           });
        }
        Player player;
        QVERIFY(player.start({QStringLiteral("--offset2"), QStringLiteral("250"), files[0], files[1]}));
        tones::SinkRecorder recorder;
        QVERIFY(recorder.start());
        QTest::qWait(500);
        const double played = recorder.elapsedSeconds();
        player.click(PlayButton);
        QTest::qWait(2000);
        struct Switch
        {
            const char *key;
            bool low, high;   // heard after it
            double tone;      // one that changes, and
            bool comesIn;     // how
            double at = 0;
        };
        Switch switches[] = {{"2", false, true, Low, false}, {"1", true, false, High, false}, {"0", true, true, High, true}};
        for (Switch &s : switches) {
            s.at = recorder.elapsedSeconds();
            player.key(QString::fromLatin1(s.key));
            QTest::qWait(800);
        }
        const std::vector<float> sound = recorder.stop();

        const double low = tones::onsetSeconds(sound, Rate, Low, played), high = tones::onsetSeconds(sound, Rate, High, played);
        QVERIFY2(std::abs(high - low - 0.250) < 0.001, qPrintable(QStringLiteral("onsets %1 s apart").arg(high - low)));

        // The steepest a sum of the two tones can be from one sample to the
        // next, with a few ms fade on top; a click or a step is far more.
        const double steepest = 2 * M_PI * (Low + High) * Amplitude / Rate + 0.01;
        for (const Switch &s : switches) {
            const Heard after = heard(sound, s.at + 0.3, s.at + 0.8);
            QVERIFY2(after.low == s.low && after.high == s.high, s.key);
            const std::vector<float> around = slice(sound, s.at - 0.1, s.at + 0.3);
            double step = 0;
            for (size_t i = 1; i < around.size(); ++i)
                step = std::max(step, double(std::abs(around[i] - around[i - 1])));
            qInfo("key %s: largest step %.4f, allowed %.4f", s.key, step, steepest);
            QVERIFY2(step < steepest, qPrintable(QStringLiteral("key %1: a step of %2").arg(s.key).arg(step)));
            // How soon it was heard, for the record: the target is the benchmark's.
            const std::vector<double> levels = envelope(sound, s.tone, s.at, s.at + 0.3);
            const auto crossed = std::find_if(levels.begin(), levels.end(),
                                              [&s](double level) { return (level > Amplitude / 2) == s.comesIn; });
            qInfo("key %s heard after %.0f ms", s.key, 5.0 * double(crossed - levels.begin()));
        }
    }

    // A run in a fresh home folder (open, cancel, choose, play, stop, Exit)
    // leaves nothing there but the caches the libraries keep for themselves.
    void leavesNoFilesOfItsOwn()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
            env.insert(name, home.filePath(QString::fromLatin1(name).section('_', 1, 1).toLower()));
        Player player;
        player.process().setProcessEnvironment(env);
        player.process().setWorkingDirectory(home.path());
        QVERIFY(player.start());
        player.click(Channel1);
        QTRY_VERIFY_WITH_TIMEOUT(Player::dialogIsOpen(), 10000);
        run({"windowfocus", "--sync", Player::openDialog()});
        run({"key", "Escape"});
        QTRY_VERIFY_WITH_TIMEOUT(!Player::dialogIsOpen(), 5000);
        QTest::qWait(300); // as choose() does: a click while it closes is lost
        QVERIFY(player.choose(Channel1, m_lowFile));
        player.click(PlayButton);
        QTest::qWait(1000);
        player.click(StopButton);
        player.key("ctrl+g");
        QTRY_COMPARE_WITH_TIMEOUT(player.process().state(), QProcess::NotRunning, 5000);

        QStringList left;
        QDirIterator files(home.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = QDir(home.path()).relativeFilePath(files.next());
            if (!file.startsWith("cache/gstreamer-1.0/") && !file.startsWith("config/pulse/"))
                left << file;
        }
        QVERIFY2(left.isEmpty(), qPrintable(left.join(", ")));
    }

    void exitFromTheMenuWhilePlaying()
    {
        Player player;
        QVERIFY(player.start());
        QVERIFY(player.choose(Channel1, m_lowFile));
        QVERIFY(player.choose(Channel2, m_highFile));
        player.click(PlayButton);
        QTest::qWait(500);
        player.key("ctrl+g");
        QTRY_COMPARE_WITH_TIMEOUT(player.process().state(), QProcess::NotRunning, 5000);
        QCOMPARE(player.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(player.process().exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(PlayerE2ETest)
#include "tst_player_e2e.moc"
