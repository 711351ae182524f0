#include "GainRamp.h"

#include <cmath>

GainRamp::GainRamp(double gain)
    : GainRamp(gain, gain, 0)
{
}

GainRamp::GainRamp(double from, double to, long long frames)
    : m_from(from)
    , m_to(to)
    , m_frames(frames > 0 ? frames : 0)
{
}

double GainRamp::at(long long frame) const
{
    if (frame >= m_frames)
        return m_to;
    if (frame <= 0)
        return m_from;
    const double angle = M_PI / 2 * double(frame) / double(m_frames);
    const double c = std::cos(angle), s = std::sin(angle);
    return std::sqrt(m_from * m_from * c * c + m_to * m_to * s * s);
}

long long GainRamp::fadeFrames(int rate)
{
    return std::llround(FadeSeconds * rate);
}
