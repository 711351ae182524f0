#include "ToneAnalysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <QtGlobal>

namespace tones {

namespace {

struct Window
{
    double amplitude = 0; // estimated peak amplitude of the tone
    bool heard = false;
};

// A run of windows [first, last] in which a tone was heard.
struct Run
{
    std::size_t first = 0;
    std::size_t last = 0;
};

} // namespace

std::vector<ToneFinding> findTones(const std::vector<float> &mono, int sampleRate,
                                   const std::vector<double> &frequencies)
{
    std::vector<ToneFinding> findings;
    findings.reserve(frequencies.size());
    for (double f : frequencies) {
        ToneFinding finding;
        finding.frequency = f;
        findings.push_back(finding);
    }
    if (sampleRate <= 0)
        return findings;

    const std::size_t n = std::size_t(std::lround(WindowSeconds * sampleRate));
    const std::size_t hop = std::max<std::size_t>(1, std::size_t(std::lround(HopSeconds * sampleRate)));
    if (n < 8 || mono.size() < n)
        return findings;
    const std::size_t windowCount = 1 + (mono.size() - n) / hop;

    // A Hann window keeps a loud tone from leaking into its neighbours' bins.
    std::vector<double> hann(n);
    double sumW = 0, sumW2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
        hann[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n));
        sumW += hann[i];
        sumW2 += hann[i] * hann[i];
    }
    const double floorAmplitude = std::pow(10.0, MinLevelDbfs / 20);

    std::vector<double> coeff(frequencies.size());
    std::vector<bool> usable(frequencies.size());
    for (std::size_t k = 0; k < frequencies.size(); ++k) {
        usable[k] = frequencies[k] > 0 && frequencies[k] < sampleRate / 2.0;
        coeff[k] = 2 * std::cos(2 * std::numbers::pi * frequencies[k] / sampleRate);
    }

    std::vector<std::vector<Window>> windows(frequencies.size(), std::vector<Window>(windowCount));
    std::vector<double> y(n);
    for (std::size_t w = 0; w < windowCount; ++w) {
        const float *x = mono.data() + w * hop;
        double energy = 0;
        for (std::size_t i = 0; i < n; ++i) {
            y[i] = hann[i] * double(x[i]);
            energy += y[i] * y[i];
        }
        // Mean power of the window, corrected for the taper.
        const double windowPower = energy / sumW2;
        for (std::size_t k = 0; k < frequencies.size(); ++k) {
            if (!usable[k])
                continue;
            // Goertzel: power of the one frequency asked for, no FFT needed.
            double s1 = 0, s2 = 0;
            const double c = coeff[k];
            for (std::size_t i = 0; i < n; ++i) {
                const double s0 = y[i] + c * s1 - s2;
                s2 = s1;
                s1 = s0;
            }
            const double magnitude2 = std::max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2);
            const double amplitude = 2 * std::sqrt(magnitude2) / sumW;
            const double share = windowPower > 0 ? (amplitude * amplitude / 2) / windowPower : 0;
            windows[k][w].amplitude = amplitude;
            windows[k][w].heard = share >= MinShare && amplitude >= floorAmplitude;
        }
    }

    const double total = double(mono.size()) / sampleRate;
    auto centre = [&](std::size_t w) { return (double(w * hop) + n / 2.0) / sampleRate; };

    for (std::size_t k = 0; k < frequencies.size(); ++k) {
        const std::vector<Window> &win = windows[k];
        std::vector<Run> runs;
        for (std::size_t w = 0; w < windowCount; ++w) {
            if (!win[w].heard)
                continue;
            if (!runs.empty() && runs.back().last + 1 == w)
                runs.back().last = w;
            else
                runs.push_back({w, w});
        }

        ToneFinding &finding = findings[k];
        for (const Run &run : runs) {
            if (run.last - run.first + 1 < std::size_t(MinWindows))
                continue;
            double peak = 0;
            for (std::size_t w = run.first; w <= run.last; ++w)
                peak = std::max(peak, win[w].amplitude);
            const double half = peak / 2;

            // A Hann window centred on a tone's edge sees half its amplitude,
            // so the edges are where the amplitude crosses half the peak.
            std::size_t a = run.first;
            while (win[a].amplitude < half)
                ++a;
            double onset = 0;
            if (a > 0) {
                const double lo = win[a - 1].amplitude, hi = win[a].amplitude;
                const double t = hi > lo ? std::clamp((half - lo) / (hi - lo), 0.0, 1.0) : 1.0;
                onset = centre(a - 1) + t * HopSeconds;
            }
            std::size_t b = run.last;
            while (win[b].amplitude < half)
                --b;
            double end = total;
            if (b + 1 < windowCount) {
                const double hi = win[b].amplitude, lo = win[b + 1].amplitude;
                const double t = hi > lo ? std::clamp((hi - half) / (hi - lo), 0.0, 1.0) : 0.0;
                end = centre(b) + t * HopSeconds;
            }

            if (!finding.present) {
                finding.present = true;
                finding.firstHeardSeconds = onset;
            }
            finding.heardSeconds += std::max(0.0, end - onset);
            finding.level = std::max(finding.level, peak);
        }
    }
    return findings;
}

double rmsLevel(const std::vector<float> &mono, int sampleRate, double fromSeconds, double toSeconds)
{
    if (sampleRate <= 0 || mono.empty() || !(toSeconds > fromSeconds))
        return 0;
    const double size = double(mono.size());
    const std::size_t from = std::size_t(std::clamp(std::ceil(fromSeconds * sampleRate), 0.0, size));
    const std::size_t to = std::size_t(std::clamp(std::ceil(toSeconds * sampleRate), 0.0, size));
    if (to <= from)
        return 0;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(mono[i]) * double(mono[i]);
    return std::sqrt(sum / double(to - from));
}

double onsetSeconds(const std::vector<float> &mono, int sampleRate, double frequency, double fromSeconds)
{
    // 20 ms under a Hann window: a louder tone nearby leaks in by less than
    // -50 dB, so it can't move the onset found.
    const std::size_t n = std::size_t(sampleRate / 50);
    const std::size_t hop = std::max(1, sampleRate / 1000);
    const auto begin = qsizetype(std::max(0.0, fromSeconds) * sampleRate);
    if (n == 0 || qsizetype(mono.size()) < begin + qsizetype(n))
        return -1;
    const double c = 2 * std::cos(2 * std::numbers::pi * frequency / sampleRate);
    std::vector<double> hann(n);
    for (std::size_t i = 0; i < n; ++i)
        hann[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n));
    // Before fromSeconds counts as silence, so a tone sounding from the very
    // first sample is found there too.
    const qsizetype first = begin - qsizetype(n);
    std::vector<double> amplitude;
    for (qsizetype at = first; at + qsizetype(n) <= qsizetype(mono.size()); at += qsizetype(hop)) {
        double s1 = 0, s2 = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const qsizetype k = at + qsizetype(i);
            const double s0 = (k < begin ? 0.0 : hann[i] * double(mono[std::size_t(k)])) + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        amplitude.push_back(2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - c * s1 * s2)) / (double(n) / 2));
    }
    const double peak = *std::max_element(amplitude.begin(), amplitude.end());
    if (peak < std::pow(10.0, MinLevelDbfs / 20))
        return -1;
    const auto rise = std::find_if(amplitude.begin(), amplitude.end(), [&](double a) { return a >= peak / 2; });
    // The window is symmetric: the amplitude reaches half its peak when the
    // tone fills half of it.
    return (double(first) + double(rise - amplitude.begin()) * double(hop) + double(n) / 2) / sampleRate;
}

} // namespace tones
