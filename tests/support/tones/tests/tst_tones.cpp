#include "ToneAnalysis.h"

#include <QtTest>

#include <cmath>
#include <numbers>
#include <random>

using namespace tones;

namespace {

struct Part
{
    double frequency;
    double dbfs; // peak
    double from;
    double to;
};

struct Expect
{
    double frequency;
    bool present;
    double onset = -1; // -1: not checked
    double heard = -1;
    double level = -1;
};

double amplitude(double dbfs)
{
    return std::pow(10.0, dbfs / 20);
}

std::vector<float> mix(int rate, double seconds, const QList<Part> &parts, double noiseDbfs = 0)
{
    std::vector<double> sum(std::size_t(std::lround(seconds * rate)), 0.0);
    for (const Part &p : parts) {
        const double a = amplitude(p.dbfs);
        for (std::size_t i = std::size_t(std::lround(p.from * rate)); i < sum.size() && double(i) < p.to * rate; ++i)
            sum[i] += a * std::sin(2 * std::numbers::pi * p.frequency * double(i) / rate);
    }
    if (noiseDbfs < 0) {
        std::mt19937 rng(1234);
        std::normal_distribution<double> noise(0, amplitude(noiseDbfs)); // RMS level
        for (double &s : sum)
            s += noise(rng);
    }
    std::vector<float> out(sum.size());
    for (std::size_t i = 0; i < sum.size(); ++i)
        out[i] = float(std::clamp(sum[i], -1.0, 1.0));
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Part)
Q_DECLARE_METATYPE(Expect)

class TestTones : public QObject
{
    Q_OBJECT

private slots:
    void findTones_data();
    void findTones();
    void degenerateInput_data();
    void degenerateInput();
    void rmsLevel_data();
    void rmsLevel();
};

void TestTones::findTones_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QList<Part>>("parts");
    QTest::addColumn<double>("noiseDbfs");
    QTest::addColumn<QList<Expect>>("expected");

    QTest::newRow("440 alone") << 48000 << 1.0 << QList<Part>{{440, -6, 0, 1}} << 0.0
                               << QList<Expect>{{440, true, 0, 1.0, 0.501}, {1000, false}, {660, false}};
    QTest::newRow("440 and 1000 together")
        << 48000 << 1.0 << QList<Part>{{440, -12, 0, 1}, {1000, -12, 0, 1}} << 0.0
        << QList<Expect>{{440, true, 0, 1.0, 0.251}, {1000, true, 0, 1.0, 0.251}, {660, false}};
    QTest::newRow("1000 from 0.7 s") << 48000 << 1.5 << QList<Part>{{1000, -6, 0.7, 1.5}} << 0.0
                                     << QList<Expect>{{1000, true, 0.7, 0.8}, {440, false}};
    QTest::newRow("onset between hops") << 48000 << 1.0 << QList<Part>{{660, -10, 0.4133, 1}} << 0.0
                                        << QList<Expect>{{660, true, 0.4133, 0.5867}};
    QTest::newRow("staggered") << 48000 << 1.0 << QList<Part>{{440, -12, 0, 0.5}, {1000, -12, 0.3, 1}} << 0.0
                               << QList<Expect>{{440, true, 0, 0.5}, {1000, true, 0.3, 0.7}};
    QTest::newRow("heard twice with a gap")
        << 48000 << 1.2 << QList<Part>{{440, -6, 0, 0.4}, {440, -6, 0.8, 1.2}} << 0.0
        << QList<Expect>{{440, true, 0, 0.8}};
    QTest::newRow("silence") << 48000 << 1.0 << QList<Part>{} << 0.0
                             << QList<Expect>{{440, false}, {660, false}, {1000, false}};
    QTest::newRow("white noise") << 48000 << 3.0 << QList<Part>{} << -10.0
                                 << QList<Expect>{{440, false}, {660, false}, {1000, false}, {5000, false}};
    QTest::newRow("1000 in noise") << 48000 << 1.0 << QList<Part>{{1000, -20, 0.2, 1}} << -30.0
                                   << QList<Expect>{{1000, true, 0.2, 0.8, 0.1}, {440, false}};
    QTest::newRow("-40 dBFS is found") << 48000 << 1.0 << QList<Part>{{440, -40, 0, 1}} << 0.0
                                       << QList<Expect>{{440, true, 0, 1.0, 0.01}};
    QTest::newRow("-70 dBFS is not") << 48000 << 1.0 << QList<Part>{{440, -70, 0, 1}} << 0.0
                                     << QList<Expect>{{440, false}};
    QTest::newRow("soft tone beside a loud one")
        << 48000 << 1.0 << QList<Part>{{1000, -6, 0, 1}, {440, -18, 0, 1}} << 0.0
        << QList<Expect>{{1000, true, 0, 1.0}, {440, true, 0, 1.0, 0.126}};
    QTest::newRow("660 is neither 440 nor 1000")
        << 48000 << 1.0 << QList<Part>{{660, 0, 0, 1}} << 0.0
        << QList<Expect>{{660, true}, {440, false}, {1000, false}, {560, false}, {760, false}};
    QTest::newRow("44.1 kHz") << 44100 << 1.0 << QList<Part>{{1000, -6, 0.25, 0.75}} << 0.0
                              << QList<Expect>{{1000, true, 0.25, 0.5}, {440, false}};
}

void TestTones::findTones()
{
    QFETCH(int, rate);
    QFETCH(double, seconds);
    QFETCH(QList<Part>, parts);
    QFETCH(double, noiseDbfs);
    QFETCH(QList<Expect>, expected);

    const std::vector<float> signal = mix(rate, seconds, parts, noiseDbfs);
    std::vector<double> frequencies;
    for (const Expect &e : expected)
        frequencies.push_back(e.frequency);

    const std::vector<ToneFinding> found = tones::findTones(signal, rate, frequencies);
    QCOMPARE(found.size(), frequencies.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        const Expect &e = expected[qsizetype(i)];
        const ToneFinding &f = found[i];
        const QByteArray what = QByteArray::number(e.frequency) + " Hz: first " +
                                QByteArray::number(f.firstHeardSeconds) + " s, heard " +
                                QByteArray::number(f.heardSeconds) + " s, level " + QByteArray::number(f.level);
        QCOMPARE(f.frequency, e.frequency);
        QVERIFY2(f.present == e.present, what);
        if (!e.present) {
            QVERIFY2(f.firstHeardSeconds < 0 && f.heardSeconds == 0, what);
            continue;
        }
        if (e.onset >= 0)
            QVERIFY2(std::abs(f.firstHeardSeconds - e.onset) <= 0.02, what);
        if (e.heard >= 0)
            QVERIFY2(std::abs(f.heardSeconds - e.heard) <= 0.03, what);
        if (e.level >= 0)
            QVERIFY2(std::abs(f.level - e.level) <= 0.1 * e.level, what);
    }
}

// Nothing to find must not crash or invent a tone.
void TestTones::degenerateInput_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("frequency");

    QTest::newRow("empty recording") << 48000 << 0.0 << 440.0;
    QTest::newRow("shorter than a window") << 48000 << 0.02 << 440.0;
    QTest::newRow("no sample rate") << 0 << 1.0 << 440.0;
    QTest::newRow("above half the rate") << 48000 << 1.0 << 30000.0;
    QTest::newRow("zero frequency") << 48000 << 1.0 << 0.0;
}

void TestTones::degenerateInput()
{
    QFETCH(int, rate);
    QFETCH(double, seconds);
    QFETCH(double, frequency);

    // Full-scale sound everywhere (a 30 kHz tone folds to 18 kHz at 48 kHz).
    const std::vector<float> signal = mix(rate > 0 ? rate : 48000, seconds, {{frequency, 0, 0, seconds}}, -10);
    const std::vector<ToneFinding> found = tones::findTones(signal, rate, {frequency, 1000});
    QCOMPARE(found.size(), std::size_t(2));
    QCOMPARE(found[0].frequency, frequency);
    QCOMPARE(found[1].frequency, 1000.0);
    for (const ToneFinding &f : found) {
        QVERIFY(!f.present);
        QCOMPARE(f.firstHeardSeconds, -1.0);
        QCOMPARE(f.heardSeconds, 0.0);
    }
}

void TestTones::rmsLevel_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<double>("expected");

    // 1 s of silence, then 1 s of a -6 dBFS tone (RMS 0.354).
    const double toneRms = amplitude(-6) / std::sqrt(2.0);
    QTest::newRow("silent part") << 0.0 << 1.0 << 0.0;
    QTest::newRow("tone part") << 1.0 << 2.0 << toneRms;
    QTest::newRow("both halves") << 0.0 << 2.0 << toneRms / std::sqrt(2.0);
    QTest::newRow("past the end is clipped") << 1.5 << 9.0 << toneRms;
    QTest::newRow("before the start is clipped") << -3.0 << 1.0 << 0.0;
    QTest::newRow("reversed") << 2.0 << 1.0 << 0.0;
    QTest::newRow("wholly past the end") << 5.0 << 6.0 << 0.0;
}

void TestTones::rmsLevel()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(double, expected);

    const std::vector<float> signal = mix(48000, 2.0, {{1000, -6, 1.0, 2.0}});
    const double level = tones::rmsLevel(signal, 48000, from, to);
    QVERIFY2(std::abs(level - expected) <= 0.002, QByteArray::number(level));
}

QTEST_APPLESS_MAIN(TestTones)
#include "tst_tones.moc"
