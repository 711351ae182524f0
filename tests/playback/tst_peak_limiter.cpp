#include "PeakLimiter.h"

#include <QtTest>

#include <cmath>
#include <vector>

namespace {

constexpr double Rate = 48000;

PeakLimiter::Settings settings()
{
    PeakLimiter::Settings s;
    s.rate = Rate;
    s.channels = 2;
    return s;
}

// Stereo frames of a signal, run through a fresh limiter in uneven blocks.
std::vector<float> limited(const std::vector<float> &in, PeakLimiter &limiter)
{
    std::vector<float> out = in;
    std::size_t frame = 0, block = 1;
    while (frame < out.size() / 2) {
        const std::size_t n = std::min(block, out.size() / 2 - frame);
        limiter.process(out.data() + 2 * frame, n);
        frame += n;
        block = block * 3 % 997 + 1;
    }
    return out;
}

std::vector<float> sine(double amplitude, double frequency, double seconds)
{
    std::vector<float> x(std::size_t(seconds * Rate) * 2);
    for (std::size_t f = 0; f < x.size() / 2; ++f)
        x[2 * f] = x[2 * f + 1] = float(amplitude * std::sin(2 * M_PI * frequency * double(f) / Rate));
    return x;
}

} // namespace

class PeakLimiterTest : public QObject
{
    Q_OBJECT

private slots:
    // Below full scale the frames come out bit for bit, delay() frames late;
    // above it no sample passes the ceiling, and once the loud stretch is
    // over and released the frames are exact again.
    void gainLaw_data()
    {
        QTest::addColumn<double>("loudAmplitude"); // of the middle second; the rest is at 0.5
        QTest::addColumn<bool>("limits");
        QTest::newRow("quiet throughout") << 0.5 << false;
        QTest::newRow("just under full scale") << 32767.0 / 32768 << false;
        QTest::newRow("a sum of two loud tones") << 1.8 << true;
        QTest::newRow("far over") << 8.0 << true;
    }
    void gainLaw()
    {
        QFETCH(double, loudAmplitude);
        QFETCH(bool, limits);
        std::vector<float> in = sine(0.5, 440, 1);
        const std::vector<float> loud = sine(loudAmplitude, 440, 1);
        in.insert(in.end(), loud.begin(), loud.end());
        const std::vector<float> tail = sine(0.5, 440, 2);
        in.insert(in.end(), tail.begin(), tail.end());

        PeakLimiter limiter(settings());
        const std::vector<float> out = limited(in, limiter);
        const std::size_t delay = 2 * std::size_t(limiter.delay());
        QCOMPARE(limiter.delay(), 239); // 5 ms at 48 kHz

        double peak = 0;
        std::size_t changed = 0, lastChanged = 0;
        for (std::size_t i = delay; i < out.size(); ++i) {
            peak = std::max(peak, double(std::fabs(out[i])));
            if (out[i] != in[i - delay])
                ++changed, lastChanged = i;
        }
        for (std::size_t i = 0; i < delay; ++i)
            QCOMPARE(out[i], 0.0f); // what came before the first frame: silence
        if (!limits) {
            QCOMPARE(changed, std::size_t(0));
            return;
        }
        QVERIFY2(peak <= settings().ceiling + 1e-6, qPrintable(QString::number(peak)));
        QVERIFY(peak > settings().ceiling - 0.01); // brought to the ceiling, not far under
        // Exact again within a second of the loud part's end (the release).
        QVERIFY2(lastChanged < 2 * std::size_t(3.0 * Rate), qPrintable(QString::number(lastChanged / 2 / Rate)));
    }

    // The gain comes down along a ramp that starts a look-ahead before a lone
    // peak, meets it exactly at the peak, and never steps.
    void attackIsHiddenAhead()
    {
        std::vector<float> in(2 * 4800, 0.5f);
        in[2 * 2400] = 2.0f;
        PeakLimiter limiter(settings());
        const std::vector<float> out = limited(in, limiter);
        const std::size_t d = std::size_t(limiter.delay());
        const auto gainAt = [&](std::size_t frame) { return double(out[2 * (frame + d)]) / in[2 * frame]; };
        QCOMPARE(float(gainAt(2400) * 2.0), float(settings().ceiling));
        QCOMPARE(gainAt(2400 - d - 1), 1.0);
        for (std::size_t f = 2400 - d; f < 2400; ++f) {
            QVERIFY(gainAt(f) <= gainAt(f - 1));
            QVERIFY(gainAt(f - 1) - gainAt(f) < 0.01);
        }
    }

    // Blocks of 10 ms, as the mixer hands them on, give the very samples
    // that frames one by one give, in quiet stretches, loud ones and the
    // release between.
    void sameWhateverTheBlocks()
    {
        std::vector<float> in = sine(0.5, 440, 0.5);
        for (const double amplitude : {1.8, 0.9, 8.0, 0.5}) {
            const std::vector<float> part = sine(amplitude, 440, 0.5);
            in.insert(in.end(), part.begin(), part.end());
        }
        PeakLimiter byFrame(settings()), byBlock(settings());
        std::vector<float> framed = in, blocked = in;
        for (std::size_t f = 0; f < in.size() / 2; ++f)
            byFrame.process(framed.data() + 2 * f, 1);
        const std::size_t block = std::size_t(Rate / 100);
        for (std::size_t f = 0; f < in.size() / 2; f += block)
            byBlock.process(blocked.data() + 2 * f, std::min(block, in.size() / 2 - f));
        QVERIFY(framed == blocked);
        QVERIFY(framed != in);
    }

    // After a seek nothing of the sound before it comes out.
    void resetForgets()
    {
        PeakLimiter limiter(settings());
        std::vector<float> loud = sine(1.8, 440, 0.1);
        limiter.process(loud.data(), loud.size() / 2);
        limiter.reset();
        std::vector<float> quiet = sine(0.5, 440, 0.1);
        const std::vector<float> out = limited(quiet, limiter);
        const std::size_t delay = 2 * std::size_t(limiter.delay());
        for (std::size_t i = 0; i < out.size(); ++i)
            QCOMPARE(out[i], i < delay ? 0.0f : quiet[i - delay]);
    }
};

QTEST_APPLESS_MAIN(PeakLimiterTest)
#include "tst_peak_limiter.moc"
