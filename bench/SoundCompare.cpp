#include "SoundCompare.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>

namespace bench {

namespace {

constexpr double Scale = 32767;
// The files' first sample is looked for this far either side of the
// recording's first sound: a resampler's filter may ring before it.
constexpr qsizetype SearchFrames = 2400;
// Correlated over 100 ms from a quarter of a second in, past any start.
constexpr qsizetype ProbeAt = 12000;
constexpr qsizetype ProbeFrames = 4800;

qsizetype framesOf(const Samples &samples)
{
    return qsizetype(samples.size() / 2);
}

double mono(const Samples &samples, qsizetype frame)
{
    return double(samples[std::size_t(2 * frame)]) + double(samples[std::size_t(2 * frame + 1)]);
}

// The frame of the recording where the files' first frame is, found by
// correlating a probe of the expected mono sound; -1 when nothing was heard.
qsizetype bestOffset(const Samples &heard, const std::vector<double> &probe)
{
    const auto first = std::find_if(heard.begin(), heard.end(), [](qint32 x) { return x != 0; });
    if (first == heard.end())
        return -1;
    const qsizetype firstFrame = (first - heard.begin()) / 2;
    qsizetype best = -1;
    double bestScore = 0;
    for (qsizetype at = std::max<qsizetype>(0, firstFrame - SearchFrames); at <= firstFrame + SearchFrames; ++at) {
        if (at + ProbeAt + qsizetype(probe.size()) > framesOf(heard))
            break;
        double score = 0;
        for (std::size_t k = 0; k < probe.size(); ++k)
            score += probe[k] * mono(heard, at + ProbeAt + qsizetype(k));
        if (score > bestScore)
            std::tie(best, bestScore) = std::make_pair(at, score);
    }
    return best;
}

double decibels(double signal, double noise)
{
    return noise > 0 ? 10 * std::log10(signal / noise) : std::numeric_limits<double>::infinity();
}

} // namespace

ToneMix::ToneMix(quint32 seed)
{
    QRandomGenerator random(seed);
    for (double f = 31.5; f < 16500; f *= std::cbrt(2.0))
        m_tones.push_back({f, {2 * M_PI * random.generateDouble(), 2 * M_PI * random.generateDouble()}});
    // -20 dBFS: each tone's power is amplitude² / 2.
    m_amplitude = 0.1 * std::sqrt(2.0 / double(m_tones.size()));
}

double ToneMix::at(double seconds, int channel) const
{
    double sum = 0;
    for (const Tone &tone : m_tones)
        sum += std::sin(2 * M_PI * tone.frequency * seconds + tone.phase[channel]);
    return m_amplitude * sum;
}

Fidelity compareExact(const Samples &heard, const Samples &expected, int frames)
{
    Fidelity result;
    if (framesOf(expected) < std::max<qsizetype>(frames, ProbeAt + ProbeFrames))
        return result;
    std::vector<double> probe(ProbeFrames);
    for (qsizetype k = 0; k < ProbeFrames; ++k)
        probe[std::size_t(k)] = mono(expected, ProbeAt + k);
    const qsizetype offset = bestOffset(heard, probe);
    if (offset < 0 || offset + frames > framesOf(heard))
        return result;
    const auto silentFrame = [&](qsizetype k) {
        return heard[std::size_t(2 * (offset + k))] == 0 && heard[std::size_t(2 * (offset + k) + 1)] == 0
               && mono(expected, k) != 0;
    };
    while (result.silentStart < frames && silentFrame(result.silentStart))
        ++result.silentStart;
    qint64 equal = 0, equalAfter = 0;
    double expectedEnergy = 0, differenceEnergy = 0, cross = 0;
    for (std::size_t i = 0; i < std::size_t(2 * frames); ++i) {
        const double h = heard[std::size_t(2 * offset) + i], e = expected[i];
        equal += h == e;
        equalAfter += h == e && qsizetype(i / 2) >= result.silentStart;
        expectedEnergy += e * e;
        differenceEnergy += (h - e) * (h - e);
        cross += h * e;
    }
    result.aligned = true;
    result.equalShare = double(equal) / double(2 * frames);
    if (result.silentStart < frames)
        result.equalShareAfter = double(equalAfter) / double(2 * (frames - result.silentStart));
    result.differenceDb = decibels(expectedEnergy, differenceEnergy);
    result.gain = expectedEnergy > 0 ? cross / expectedEnergy : 0;
    return result;
}

Fidelity compareWithTones(const Samples &heard, const ToneMix &mix, int rate, int frames)
{
    Fidelity result;
    std::vector<double> probe(ProbeFrames);
    for (qsizetype k = 0; k < ProbeFrames; ++k)
        probe[std::size_t(k)] = Scale * (mix.at(double(ProbeAt + k) / rate, 0) + mix.at(double(ProbeAt + k) / rate, 1));
    const qsizetype offset = bestOffset(heard, probe);
    // From a tenth of a second in: the file's abrupt first sample rings in
    // any resampler, and that ringing is the file's, not the resampler's.
    const qsizetype from = rate / 10;
    if (offset < 0 || offset + from + frames > framesOf(heard))
        return result;

    struct Energies
    {
        double expected = 0, difference = 0, cross = 0;
    };
    const auto compare = [&](double delay, qsizetype start, qsizetype count) {
        Energies sums;
        for (qsizetype k = start; k < start + count; ++k) {
            for (int c = 0; c < 2; ++c) {
                const double h = heard[std::size_t(2 * (offset + k) + c)];
                const double e = Scale * mix.at((double(k) + delay) / rate, c);
                sums.expected += e * e;
                sums.difference += (h - e) * (h - e);
                sums.cross += h * e;
            }
        }
        return sums;
    };
    // The whole-frame offset is within half a frame of the true delay, and
    // within a frame either way of it the difference grows steadily even
    // for the highest tone: a golden-section search finds it.
    double low = -1, high = 1;
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < 30; ++i) {
        const double a = high - ratio * (high - low), b = low + ratio * (high - low);
        if (compare(a, ProbeAt, ProbeFrames / 2).difference < compare(b, ProbeAt, ProbeFrames / 2).difference)
            high = b;
        else
            low = a;
    }
    const Energies sums = compare((low + high) / 2, from, frames);
    result.aligned = true;
    result.differenceDb = decibels(sums.expected, sums.difference);
    result.gain = sums.expected > 0 ? sums.cross / sums.expected : 0;
    return result;
}

Loudness loudness(const Samples &heard, const Samples &plainSum)
{
    Loudness result;
    double heardEnergy = 0, sumEnergy = 0;
    qint32 peak = 0;
    for (qint32 x : heard) {
        result.fullScale += x >= 32767 || x <= -32768;
        peak = std::max(peak, std::abs(x));
        heardEnergy += double(x) * x;
    }
    for (qint32 x : plainSum)
        sumEnergy += double(x) * x;
    result.peakDbfs = peak > 0 ? 20 * std::log10(peak / 32768.0) : -std::numeric_limits<double>::infinity();
    result.levelDb = sumEnergy > 0 ? 10 * std::log10(heardEnergy / sumEnergy) : 0;
    return result;
}

Samples plainSum(const Samples &a, const Samples &b, bool clip)
{
    Samples sum(std::max(a.size(), b.size()));
    for (std::size_t i = 0; i < sum.size(); ++i) {
        const qint32 x = (i < a.size() ? a[i] : 0) + (i < b.size() ? b[i] : 0);
        sum[i] = clip ? std::clamp(x, -32768, 32767) : x;
    }
    return sum;
}

} // namespace bench
