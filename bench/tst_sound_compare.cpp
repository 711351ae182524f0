// The benchmark's sound figures from recordings made up here, whose answers
// are known: a fault in the alignment or the sums would misreport a player.
#include "SoundCompare.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

using namespace bench;

namespace {

constexpr int Rate = 48000;
constexpr int Frames = 4 * Rate;

Samples noise(quint32 seed)
{
    QRandomGenerator random(seed);
    Samples samples(2 * Frames);
    for (qint32 &x : samples)
        x = qint32(std::lround(8000 * (2 * random.generateDouble() - 1)));
    return samples;
}

// `lead` frames of silence, then the samples scaled.
Samples heardAs(const Samples &samples, int lead, double gain)
{
    Samples heard(std::size_t(2 * lead), 0);
    for (qint32 x : samples)
        heard.push_back(qint32(std::lround(gain * x)));
    heard.resize(heard.size() + 2 * Rate / 10, 0);
    return heard;
}

// The tone mix as a player would deliver it at `rate`, `delay` frames late.
Samples tonesAt(const ToneMix &mix, double fileRate, int lead, double delay, double gain)
{
    Samples heard(std::size_t(2 * lead), 0);
    for (int k = 0; k < Frames; ++k)
        for (int c = 0; c < 2; ++c)
            heard.push_back(qint32(std::lround(gain * 32767 * mix.at((k - delay) / fileRate, c))));
    return heard;
}

} // namespace

class SoundCompareTest : public QObject
{
    Q_OBJECT

private slots:
    void exact_data()
    {
        QTest::addColumn<int>("lead");
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("share");
        QTest::addColumn<double>("differenceDb");
        QTest::newRow("as the file, at once") << 0 << 1.0 << 1.0 << qInf();
        QTest::newRow("as the file, 700 frames late") << 700 << 1.0 << 1.0 << qInf();
        QTest::newRow("turned down by a gain of 0.962") << 1234 << 0.962 << 0.0 << 28.4;
        QTest::newRow("halved") << 10 << 0.5 << 0.0 << 6.0;
    }
    void exact()
    {
        QFETCH(int, lead);
        QFETCH(double, gain);
        QFETCH(double, share);
        QFETCH(double, differenceDb);
        const Samples file = noise(3);
        const Fidelity f = compareExact(heardAs(file, lead, gain), file, 2 * Rate);
        QVERIFY(f.aligned);
        QVERIFY2(std::abs(f.equalShare - share) < 0.02, qPrintable(QString::number(f.equalShare)));
        QCOMPARE(std::isinf(f.differenceDb), std::isinf(differenceDb));
        if (!std::isinf(differenceDb))
            QVERIFY2(std::abs(f.differenceDb - differenceDb) < 0.2, qPrintable(QString::number(f.differenceDb)));
        QVERIFY(std::abs(f.gain - gain) < 0.001);
    }

    void nothingHeardIsNotAligned()
    {
        const Samples file = noise(3);
        QVERIFY(!compareExact(Samples(file.size() + 9600, 0), file, 2 * Rate).aligned);
        // A start the sound server dropped is told apart from what follows.
        Samples late = heardAs(file, 100, 1);
        std::fill(late.begin(), late.begin() + 2 * (100 + 480), 0);
        const Fidelity f = compareExact(late, file, 2 * Rate);
        QCOMPARE(f.silentStart, 480);
        QCOMPARE(f.equalShareAfter, 1.0);
        QVERIFY(f.equalShare < 1);
        // Another noise does not pass for the file.
        QVERIFY(compareExact(heardAs(noise(4), 0, 1), file, 2 * Rate).equalShare < 0.01);
    }

    void tones_data()
    {
        QTest::addColumn<double>("fileRate");
        QTest::addColumn<double>("delay");
        QTest::addColumn<double>("gain");
        QTest::addColumn<double>("atLeastDb");
        QTest::addColumn<double>("atMostDb");
        QTest::newRow("whole frames late") << 48000.0 << 0.0 << 1.0 << 75.0 << 200.0;
        QTest::newRow("a fraction of a frame late") << 48000.0 << 0.37 << 1.0 << 75.0 << 200.0;
        QTest::newRow("a fraction early") << 48000.0 << -0.45 << 1.0 << 75.0 << 200.0;
        QTest::newRow("turned down to 0.9") << 48000.0 << 0.2 << 0.9 << 19.8 << 20.2;
        QTest::newRow("played at the file's rate, too slow") << 44100.0 << 0.0 << 1.0 << -100.0 << 3.0;
    }
    void tones()
    {
        QFETCH(double, fileRate);
        QFETCH(double, delay);
        QFETCH(double, gain);
        QFETCH(double, atLeastDb);
        QFETCH(double, atMostDb);
        const ToneMix mix(5);
        const Fidelity f = compareWithTones(tonesAt(mix, fileRate, 333, delay, gain), mix, Rate, 2 * Rate);
        QVERIFY(f.aligned);
        QVERIFY2(f.differenceDb >= atLeastDb && f.differenceDb <= atMostDb, qPrintable(QString::number(f.differenceDb)));
    }

    void loudness_data()
    {
        QTest::addColumn<double>("gain");
        QTest::addColumn<bool>("clip");
        QTest::addColumn<double>("levelDb");
        QTest::newRow("the sum clipped") << 1.0 << true << -2.0;
        QTest::newRow("each file halved") << 0.5 << false << -6.02;
    }
    void loudness()
    {
        QFETCH(double, gain);
        QFETCH(bool, clip);
        QFETCH(double, levelDb);
        Samples a(2 * Rate), b(2 * Rate);
        for (int i = 0; i < 2 * Rate; ++i) {
            a[std::size_t(i)] = qint32(std::lround(0.9 * 32767 * std::sin(2 * M_PI * 440 * (i / 2) / Rate)));
            b[std::size_t(i)] = qint32(std::lround(0.9 * 32767 * std::sin(2 * M_PI * 660 * (i / 2) / Rate)));
        }
        const Samples sum = plainSum(a, b, false);
        const Samples clipped = plainSum(a, b, true);
        Samples heard = clip ? clipped : heardAs(sum, 100, gain);
        const Loudness l = bench::loudness(heard, sum);
        const auto atFullScale = std::count_if(clipped.begin(), clipped.end(), [](qint32 x) { return std::abs(x) >= 32767; });
        QCOMPARE(l.fullScale, clip ? qint64(atFullScale) : 0);
        QVERIFY2(std::abs(l.levelDb - levelDb) < 0.05, qPrintable(QString::number(l.levelDb)));
        QVERIFY(std::isinf(bench::loudness(Samples(100, 0), sum).peakDbfs));
    }
};

QTEST_APPLESS_MAIN(SoundCompareTest)
#include "tst_sound_compare.moc"
