#include "SinkRecorder.h"
#include "ToneAnalysis.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

using namespace tones;

class TestSinkRecorder : public QObject
{
    Q_OBJECT

private slots:
    void refusesWithoutServer_data();
    void refusesWithoutServer();
    void hearsPlayedTone_data();
    void hearsPlayedTone();
};

// A missing server must be reported, never recorded as silence.
void TestSinkRecorder::refusesWithoutServer_data()
{
    QTest::addColumn<QByteArray>("server");
    QTest::newRow("unset") << QByteArray();
    QTest::newRow("nobody listening") << QByteArray("unix:/nonexistent/tandra/pulse/native");
}

void TestSinkRecorder::refusesWithoutServer()
{
    QFETCH(QByteArray, server);
    const QByteArray saved = qgetenv("PULSE_SERVER");
    const bool wasSet = qEnvironmentVariableIsSet("PULSE_SERVER");
    if (server.isEmpty())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", server);

    SinkRecorder recorder;
    QElapsedTimer took;
    took.start();
    const bool started = recorder.start();
    const QString error = recorder.errorString();
    const std::vector<float> samples = recorder.stop();

    if (wasSet)
        qputenv("PULSE_SERVER", saved);
    else
        qunsetenv("PULSE_SERVER");

    QVERIFY(!started);
    QVERIFY(!recorder.isRecording());
    QVERIFY(!error.isEmpty());
    QVERIFY(samples.empty());
    QVERIFY2(took.elapsed() < 5000, "start() must give up quickly");
}

void TestSinkRecorder::hearsPlayedTone_data()
{
    QTest::addColumn<double>("played");
    QTest::addColumn<double>("other");
    QTest::newRow("1000 Hz") << 1000.0 << 440.0;
    QTest::newRow("440 Hz") << 440.0 << 1000.0;
}

void TestSinkRecorder::hearsPlayedTone()
{
    if (qEnvironmentVariable("PULSE_SERVER").isEmpty())
        QSKIP("PULSE_SERVER is not set: run under scripts/with-test-env.sh to record the null sink");
    QFETCH(double, played);
    QFETCH(double, other);

    SinkRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
    QTest::qWait(500);

    // 50 buffers of 20 ms: one second of tone.
    QProcess gst;
    gst.setProcessChannelMode(QProcess::MergedChannels);
    const double launchedAt = recorder.elapsedSeconds();
    gst.start(QStringLiteral("gst-launch-1.0"),
              {QStringLiteral("-q"), QStringLiteral("audiotestsrc"), QStringLiteral("freq=%1").arg(played),
               QStringLiteral("volume=0.5"), QStringLiteral("num-buffers=50"), QStringLiteral("samplesperbuffer=960"),
               QStringLiteral("!"), QStringLiteral("audio/x-raw,rate=48000,channels=2"), QStringLiteral("!"),
               QStringLiteral("audioconvert"), QStringLiteral("!"), QStringLiteral("pulsesink")});
    QVERIFY2(gst.waitForFinished(15000), "gst-launch-1.0 did not finish");
    QVERIFY2(gst.exitStatus() == QProcess::NormalExit && gst.exitCode() == 0, gst.readAll().constData());
    QTest::qWait(300);
    const double stoppedAt = recorder.elapsedSeconds();
    const std::vector<float> samples = recorder.stop();

    const double recorded = double(samples.size()) / SinkRecorder::SampleRate;
    QVERIFY2(std::abs(recorded - stoppedAt) < 0.1,
             qPrintable(QStringLiteral("recorded %1 s in %2 s").arg(recorded).arg(stoppedAt)));

    const std::vector<ToneFinding> found = findTones(samples, SinkRecorder::SampleRate, {played, other});
    const QString what = QStringLiteral("recorded %1 s in %2 s; launched at %3 s; %4 Hz first heard at %5 s "
                                        "for %6 s at level %7")
                             .arg(recorded)
                             .arg(stoppedAt)
                             .arg(launchedAt)
                             .arg(played)
                             .arg(found[0].firstHeardSeconds)
                             .arg(found[0].heardSeconds)
                             .arg(found[0].level);
    qInfo().noquote() << what;
    QVERIFY2(found[0].present, qPrintable(what));
    QVERIFY2(!found[1].present, qPrintable(what));
    // Starting gst-launch and the sink's buffering take a while, but the tone
    // cannot sound before it was launched, and must sound whole.
    QVERIFY2(found[0].firstHeardSeconds >= launchedAt - 0.03, qPrintable(what));
    QVERIFY2(found[0].firstHeardSeconds <= launchedAt + 1.5, qPrintable(what));
    QVERIFY2(std::abs(found[0].heardSeconds - 1.0) < 0.05, qPrintable(what));
    QVERIFY2(std::abs(found[0].level - 0.5) < 0.05, qPrintable(what));

    // Silence before the tone is digital silence, not noise or a leftover.
    const double before = rmsLevel(samples, SinkRecorder::SampleRate, 0, launchedAt);
    QVERIFY2(before < 1e-4, qPrintable(QStringLiteral("RMS before the tone: %1").arg(before)));
    const double during = rmsLevel(samples, SinkRecorder::SampleRate, found[0].firstHeardSeconds + 0.1,
                                   found[0].firstHeardSeconds + 0.9);
    QVERIFY2(std::abs(during - 0.5 / std::sqrt(2.0)) < 0.05,
             qPrintable(QStringLiteral("RMS during the tone: %1").arg(during)));
}

QTEST_GUILESS_MAIN(TestSinkRecorder)
#include "tst_sink_recorder.moc"
