// The real program under the test X server, driven with xdotool, heard by
// recording the PulseAudio null sink.
#include "MediaFiles.h"
#include "PlayerDriver.h"
#include "SinkRecorder.h"
#include "ToneAnalysis.h"

#include <QtTest>
#include <QProcess>
#include <QTemporaryDir>

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
        QVERIFY2(std::abs(again.lowSeconds - 1.5) < 0.05 && again.high, "the ended channel plays again whole");
        QCOMPARE(player.process().state(), QProcess::Running);
    }

    // Files from the command line, worked from the desktop's side through
    // MPRIS on a private session bus.
    void playerctlOnAPrivateBus()
    {
        QProcess bus;
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(bus.waitForReadyRead(5000), "dbus-daemon gave no address");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(bus.readLine()).trimmed());
        const auto playerctl = [&env](const QStringList &command) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start("playerctl", QStringList{"--player=tandra"} + command);
            p.waitForFinished(5000);
            return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        };
        Player player;
        player.process().setProcessEnvironment(env);
        QVERIFY(player.start({m_lowFile, m_highFile}));
        QTRY_COMPARE_WITH_TIMEOUT(playerctl({"status"}), QStringLiteral("Stopped"), 5000);
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
        bus.terminate();
        bus.waitForFinished();
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
