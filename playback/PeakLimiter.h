#pragma once

#include <cstddef>
#include <deque>
#include <utility>
#include <vector>

// A look-ahead peak limiter for interleaved float frames, all channels under
// one gain.
//
// Gain law: a frame whose peak |x| exceeds `overflow` (the largest value the
// output format holds) asks for the gain ceiling / |x|; every other frame
// asks for exactly 1. The gain is the smallest request of the last
// `lookahead` frames (a hold), recovering towards 1 with the release time
// constant, then averaged over `lookahead` frames, and applied to the frame
// `lookahead - 1` frames back. The hold covers the loud frame throughout the
// average, so it meets its request exactly and every frame before it is
// brought down along a ramp (the attack) that the delay hides. Where no
// request is below 1 the gain is exactly 1 and the frames pass bit for bit.
class PeakLimiter
{
public:
    struct Settings
    {
        double rate = 48000;
        int channels = 2;
        double overflow = 32767.0 / 32768.0;
        double ceiling = 0.966; // -0.3 dBFS
        double lookaheadSeconds = 0.005;
        double releaseSeconds = 0.05;
    };

    explicit PeakLimiter(const Settings &settings);

    // Limits `frames` frames in place; they come out delay() frames later.
    void process(float *samples, std::size_t frames);
    // Forgets what it holds (a seek): the next frames follow silence.
    void reset();
    int delay() const { return m_lookahead - 1; }

private:
    double request(const float *frame) const;
    bool isIdle() const;
    bool passQuietBlock(float *samples, std::size_t frames);
    void delayFrame(float *frame, double gain);

    Settings m_settings;
    int m_lookahead;
    double m_releaseStep;        // share of the way back to 1 per frame
    std::vector<float> m_delayed; // ring of delay() frames
    std::size_t m_ringPos = 0;
    long long m_frame = 0;
    std::deque<std::pair<long long, double>> m_minima; // requests ascending, for the hold
    double m_held = 1;
    std::vector<double> m_box; // ring of held gains being averaged
    std::size_t m_boxPos = 0;
    double m_boxSum = 0;
    int m_boxBelowOne = 0; // held gains below 1 in the box
};
