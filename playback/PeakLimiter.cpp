#include "PeakLimiter.h"

#include <algorithm>
#include <cmath>

PeakLimiter::PeakLimiter(const Settings &settings)
    : m_settings(settings)
    , m_lookahead(std::max(1, int(std::lround(settings.rate * settings.lookaheadSeconds))))
    , m_releaseStep(1 - std::exp(-1 / (settings.rate * settings.releaseSeconds)))
{
    reset();
}

void PeakLimiter::reset()
{
    m_delayed.assign(std::size_t(delay()) * m_settings.channels, 0.0f);
    m_ringPos = 0;
    m_frame = 0;
    m_minima.clear();
    m_held = 1;
    m_box.assign(std::size_t(m_lookahead), 1.0);
    m_boxPos = 0;
    m_boxSum = m_lookahead;
    m_boxBelowOne = 0;
}

double PeakLimiter::request(const float *frame) const
{
    double peak = 0;
    for (int c = 0; c < m_settings.channels; ++c)
        peak = std::max(peak, double(std::fabs(frame[c])));
    return peak > m_settings.overflow ? m_settings.ceiling / peak : 1.0;
}

// Frames in, the frames delay() back out, each at `gain`.
void PeakLimiter::delayFrame(float *frame, double gain)
{
    for (int c = 0; c < m_settings.channels; ++c) {
        float out = frame[c];
        if (!m_delayed.empty())
            std::swap(out, m_delayed[m_ringPos * m_settings.channels + c]);
        frame[c] = gain == 1.0 ? out : float(out * gain);
    }
    if (!m_delayed.empty() && ++m_ringPos == std::size_t(delay()))
        m_ringPos = 0;
}

// Nothing held below 1: every gain in the hold, the release and the average is 1.
bool PeakLimiter::isIdle() const
{
    return m_held == 1 && m_boxBelowOne == 0 && (m_minima.empty() || m_minima.front().second == 1);
}

// Nothing held and no sample of the block over full scale: every frame
// would only be delayed, so the block moves on as a whole.
bool PeakLimiter::passQuietBlock(float *samples, std::size_t frames)
{
    const std::size_t delayed = std::size_t(delay()), channels = std::size_t(m_settings.channels);
    if (frames < delayed || !isIdle())
        return false;
    const std::size_t count = frames * channels;
    bool quiet = true;
    for (std::size_t i = 0; i < count; ++i)
        quiet &= double(std::fabs(samples[i])) <= m_settings.overflow; // not NaN either
    if (!quiet)
        return false;
    // The ring from its oldest frame; then out go the ring and the block's
    // head, and the block's last frames stay behind.
    std::rotate(m_delayed.begin(), m_delayed.begin() + std::ptrdiff_t(m_ringPos * channels), m_delayed.end());
    m_ringPos = 0;
    std::swap_ranges(m_delayed.begin(), m_delayed.end(), samples + count - m_delayed.size());
    std::rotate(samples, samples + count - m_delayed.size(), samples + count);
    // The hold and the average hold nothing but 1s: where they stand matters not.
    m_frame += static_cast<long long>(frames);
    return true;
}

void PeakLimiter::process(float *samples, std::size_t frames)
{
    if (passQuietBlock(samples, frames))
        return;
    const int channels = m_settings.channels;
    for (std::size_t f = 0; f < frames; ++f, ++m_frame) {
        float *frame = samples + f * channels;
        const double wanted = request(frame);

        // The usual case, nothing near full scale: the frame is only delayed,
        // and of the state only where it stands moves on.
        if (wanted == 1 && isIdle()) {
            m_minima.assign(1, {m_frame, 1.0});
            if (++m_boxPos == m_box.size())
                m_boxPos = 0;
            delayFrame(frame, 1.0);
            continue;
        }

        // The hold: the smallest request among the last m_lookahead frames.
        while (!m_minima.empty() && m_minima.back().second >= wanted)
            m_minima.pop_back();
        m_minima.emplace_back(m_frame, wanted);
        while (m_minima.front().first <= m_frame - m_lookahead)
            m_minima.pop_front();
        double held = m_held + (1 - m_held) * m_releaseStep;
        // Closer to 1 than a 24-bit step: it is 1, so the output is exact
        // again (less than a second after the loudest overload).
        if (1 - held < 0x1p-24)
            held = 1;
        held = std::min(held, m_minima.front().second);
        m_held = held;

        // The average of the held gains; exactly 1 when all of them are.
        m_boxBelowOne += (held < 1) - (m_box[m_boxPos] < 1);
        m_boxSum += held - m_box[m_boxPos];
        m_box[m_boxPos] = held;
        if (++m_boxPos == m_box.size())
            m_boxPos = 0;
        if (m_boxBelowOne == 0)
            m_boxSum = m_lookahead;
        delayFrame(frame, m_boxBelowOne == 0 ? 1.0 : std::min(1.0, m_boxSum / m_lookahead));
    }
}
