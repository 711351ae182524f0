#include "Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>

struct LoudnessMeasure::State
{
    ebur128_state *state;
    ~State() { ebur128_destroy(&state); }
};

LoudnessMeasure::LoudnessMeasure(int channels, int rate)
    : m_channels(channels)
    , m_rate(rate)
{
    if (channels > 0 && rate > 0)
        if (ebur128_state *state = ebur128_init(unsigned(channels), static_cast<unsigned long>(rate), EBUR128_MODE_I))
            m_state.reset(new State{state});
    if (m_state && channels == 1)
        ebur128_set_channel(m_state->state, 0, EBUR128_DUAL_MONO);
    m_failed = !m_state;
}

LoudnessMeasure::~LoudnessMeasure() = default;

bool LoudnessMeasure::add(const float *interleaved, std::size_t frames)
{
    if (!m_failed && frames > 0)
        m_failed = !interleaved || ebur128_add_frames_float(m_state->state, interleaved, frames) != EBUR128_SUCCESS;
    return !m_failed;
}

std::optional<double> LoudnessMeasure::lufs() const
{
    double value = 0;
    // Silence and too short a signal read -inf.
    if (m_failed || ebur128_loudness_global(m_state->state, &value) != EBUR128_SUCCESS || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> integratedLoudness(const float *interleaved, std::size_t frames, int channels, int rate)
{
    LoudnessMeasure measure(channels, rate);
    measure.add(interleaved, frames);
    return measure.lufs();
}

double matchGainDb(double ownLufs, double otherLufs)
{
    return std::min(0.0, otherLufs - ownLufs);
}

double dbToLinear(double db)
{
    return std::pow(10.0, db / 20.0);
}
