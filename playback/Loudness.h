#pragma once

#include <cstddef>
#include <memory>
#include <optional>

// Loudness matching: each file's integrated loudness (EBU R128, gated, in
// LUFS) is measured once; a channel then plays with the gain that brings it
// down to the quieter of the two, min(0, other - own) dB. Nothing is raised,
// so matching never pushes a channel into the limiter. A file whose loudness
// is unknown keeps its own level.

// Integrated loudness, fed block by block. One channel counts as heard on
// both speakers, as a mono file is played.
class LoudnessMeasure
{
public:
    LoudnessMeasure(int channels, int rate);
    ~LoudnessMeasure();
    LoudnessMeasure(const LoudnessMeasure &) = delete;
    LoudnessMeasure &operator=(const LoudnessMeasure &) = delete;

    int channels() const { return m_channels; }
    int rate() const { return m_rate; }

    // False when the format was invalid or the frames could not be taken.
    bool add(const float *interleaved, std::size_t frames);
    // Nothing for silence, for less than one 400 ms block, or after a failure.
    std::optional<double> lufs() const;

private:
    struct State; // the library's
    std::unique_ptr<State> m_state;
    int m_channels;
    int m_rate;
    bool m_failed = false;
};

std::optional<double> integratedLoudness(const float *interleaved, std::size_t frames, int channels, int rate);

// The gain in dB for a channel of this loudness beside one of the other.
double matchGainDb(double ownLufs, double otherLufs);
double dbToLinear(double db);
