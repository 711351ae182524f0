#include "Loudness.h"
#include "LoudnessMatch.h"
#include "LoudnessMeter.h"
#include "MediaFiles.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <cmath>
#include <optional>
#include <vector>

namespace {

double sineSample(double dbfs, int rate, int frame)
{
    return std::pow(10.0, dbfs / 20) * std::sin(2 * M_PI * 1000 * frame / rate);
}

// A 1 kHz sine, interleaved, at a peak level per channel (dBFS).
std::vector<float> sine(const std::vector<double> &dbfs, int rate, double seconds)
{
    const int channels = int(dbfs.size());
    std::vector<float> x(std::size_t(seconds * rate) * channels);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = float(sineSample(dbfs[i % channels], rate, int(i / channels)));
    return x;
}

// A stereo 1 kHz WAV at these levels (dBFS); empty when it can't be written.
QString toneWav(const QString &path, double left, double right, double seconds)
{
    return testmedia::writeWav(path, seconds, [=](int frame, int channel) {
        return sineSample(channel ? right : left, 48000, frame);
    });
}

std::optional<double> loudness(const std::vector<float> &x, int channels, int rate)
{
    return integratedLoudness(x.data(), x.size() / channels, channels, rate);
}

} // namespace

class LoudnessTest : public QObject
{
    Q_OBJECT

private slots:
    // The first signals of EBU Tech 3341, and how channels add up.
    void testSignals_data()
    {
        QTest::addColumn<std::vector<double>>("dbfs");
        QTest::addColumn<int>("rate");
        QTest::addColumn<double>("lufs");
        QTest::newRow("3341 case 1: -23 dBFS stereo") << std::vector{-23.0, -23.0} << 48000 << -23.0;
        QTest::newRow("3341 case 2: -33 dBFS stereo") << std::vector{-33.0, -33.0} << 48000 << -33.0;
        QTest::newRow("mono, heard on both speakers") << std::vector{-23.0} << 48000 << -23.0;
        QTest::newRow("44.1 kHz") << std::vector{-23.0, -23.0} << 44100 << -23.0;
    }
    void testSignals()
    {
        QFETCH(std::vector<double>, dbfs);
        QFETCH(int, rate);
        QFETCH(double, lufs);
        const std::optional<double> measured = loudness(sine(dbfs, rate, 20), int(dbfs.size()), rate);
        QVERIFY(measured);
        QVERIFY2(std::abs(*measured - lufs) <= 0.1, qPrintable(QString::number(*measured)));
    }

    void nothingToMeasure()
    {
        const std::vector<float> silence(48000 * 2 * 20, 0.0f);
        QVERIFY(!loudness(silence, 2, 48000));
        QVERIFY(!loudness(sine({-23, -23}, 48000, 0.3), 2, 48000)); // under one 400 ms block
    }

    void matchGain_data()
    {
        QTest::addColumn<double>("own");
        QTest::addColumn<double>("other");
        QTest::addColumn<double>("gainDb");
        QTest::newRow("louder is lowered") << -17.0 << -23.0 << -6.0;
        QTest::newRow("quieter is not raised") << -23.0 << -17.0 << 0.0;
        QTest::newRow("equal") << -20.0 << -20.0 << 0.0;
    }
    void matchGain()
    {
        QFETCH(double, own);
        QFETCH(double, other);
        QFETCH(double, gainDb);
        QCOMPARE(matchGainDb(own, other), gainDb);
    }

    // Files decoded through the meter; bad ones fail, and it reports one of the two.
    void meter_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content"); // empty: a tone at -20 dBFS, 0.5 dB apart
        QTest::addColumn<bool>("measures");
        QTest::newRow("WAV") << "tone.wav" << QByteArray() << true;
        QTest::newRow("WAV named .mp3") << "tone.mp3" << QByteArray() << true;
        QTest::newRow("corrupt MP3") << "bad.mp3" << QByteArray("\xff\xfb\x90\x00garbage", 12).repeated(4000) << false;
        QTest::newRow("MIDI") << "tune.mid" << testmedia::midiFileBytes(69, 2) << false;
        QTest::newRow("empty") << "empty.wav" << QByteArray("") << false;
        QTest::newRow("FIFO") << "fifo.wav" << QByteArray() << false; // no writer ever comes
    }
    void meter()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(bool, measures);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (name == "fifo.wav")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (content.isNull() && measures)
            QVERIFY(!toneWav(path, -20.0, -20.5, 10).isEmpty());
        else if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }

        LoudnessMeter meter;
        QSignalSpy measured(&meter, &LoudnessMeter::measured);
        QSignalSpy failed(&meter, &LoudnessMeter::failed);
        meter.measure(path);
        QTRY_COMPARE_WITH_TIMEOUT(measured.count() + failed.count(), 1, 60000);
        QCOMPARE(measured.count(), int(measures));
        const QList<QVariant> result = measures ? measured.first() : failed.first();
        QCOMPARE(result.at(0).toString(), path);
        if (measures) {
            const std::optional<double> expected = loudness(sine({-20.0, -20.5}, 48000, 10), 2, 48000);
            QVERIFY(expected);
            QVERIFY2(std::abs(result.at(1).toDouble() - *expected) <= 0.1, qPrintable(result.at(1).toString()));
        }
    }

    // A newer file drops the older one's result; a meter may go mid-measure.
    void newerMeasureWins()
    {
        QTemporaryDir dir;
        const QString older = toneWav(dir.filePath("older.wav"), -10, -10, 30);
        const QString newer = toneWav(dir.filePath("newer.wav"), -30, -30, 30);
        QVERIFY(!older.isEmpty() && !newer.isEmpty());

        LoudnessMeter meter;
        QSignalSpy measured(&meter, &LoudnessMeter::measured);
        QSignalSpy failed(&meter, &LoudnessMeter::failed);
        meter.measure(older);
        meter.measure(newer);
        QTRY_COMPARE_WITH_TIMEOUT(measured.count(), 1, 60000);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(measured.first().at(0).toString(), newer);
        QVERIFY(std::abs(measured.first().at(1).toDouble() - -30.0) <= 0.1);

        // Neither hangs nor crashes (under the sanitizers too).
        auto leaving = std::make_unique<LoudnessMeter>();
        leaving->measure(older);
        leaving.reset();
        QCoreApplication::processEvents();
    }

    // Files are measured as they are given, so that matching turned on
    // later fades the louder down from its first step.
    void matchMeasuresFilesGiven()
    {
        QTemporaryDir dir;
        const QString loud = toneWav(dir.filePath("loud.wav"), -14, -14, 10);
        const QString quiet = toneWav(dir.filePath("quiet.wav"), -20, -20, 10);
        QVERIFY(!loud.isEmpty() && !quiet.isEmpty());
        LoudnessMatch match;
        match.measure(0, loud);
        match.measure(1, quiet);
        QTRY_VERIFY_WITH_TIMEOUT(match.loudness(0) && match.loudness(1), 60000);
        QCOMPARE(match.gainDb(0), 0.0);

        QSignalSpy changed(&match, &LoudnessMatch::gainsChanged);
        match.setEnabled(true);
        QVERIFY(changed.wait());
        QVERIFY2(match.gainDb(0) < 0 && match.gainDb(0) >= -1, qPrintable(QString::number(match.gainDb(0))));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(match.gainDb(0) + 6) < 0.1, 10000);
        QCOMPARE(match.gainDb(1), 0.0);
    }

    // Files given in quick turns: most measures are dropped at once, some
    // while their pipeline starts or stops; the last still gives its figure.
    void quickCancels_data()
    {
        QTest::addColumn<testmedia::MediaKind>("kind");
        QTest::newRow("video CD, RIFF CDXA") << testmedia::MediaKind::DatCdxa;
        QTest::newRow("video CD, bare sectors") << testmedia::MediaKind::DatPlain;
        QTest::newRow("MP3") << testmedia::MediaKind::Mp3;
    }
    void quickCancels()
    {
        QFETCH(testmedia::MediaKind, kind);
        QTemporaryDir dir;
        const QString file = testmedia::makeToneFile(dir.path(), QStringLiteral("tone") + testmedia::suffixFor(kind),
                                                     kind, 1000, 3);
        QVERIFY(!file.isEmpty());

        LoudnessMeter meter;
        QSignalSpy measured(&meter, &LoudnessMeter::measured);
        QSignalSpy failed(&meter, &LoudnessMeter::failed);
        for (int turn = 0; turn < 150; ++turn) {
            meter.measure(file);
            // From at once to well into decoding.
            QTest::qWait(turn % 13 * 3);
            if (turn % 5 == 0)
                meter.cancel();
        }
        // Some measures ended before the next began; none failed.
        QCOMPARE(failed.count(), 0);
        measured.clear();
        meter.measure(file);
        QTRY_COMPARE_WITH_TIMEOUT(measured.count(), 1, 60000);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(measured.first().at(0).toString(), file);
    }
};

QTEST_GUILESS_MAIN(LoudnessTest)
#include "tst_loudness.moc"
