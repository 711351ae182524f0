#pragma once

// A gain going from one value to another over a number of frames, equal in
// power: g(p) = sqrt(from² cos²(πp/2) + to² sin²(πp/2)), p = frame / frames.
// Two ramps started on the same frame, one 1 → 0 and the other 0 → 1, keep
// the sum of their squares at 1 all through: a crossfade with no dip and no
// bump in loudness. A change of one gain alone moves monotonically between
// the two, and ends on exactly `to`.
class GainRamp
{
public:
    // How long a change takes: short enough to be heard as at once, long
    // enough not to click.
    static constexpr double FadeSeconds = 0.005;

    // Steady at `gain`.
    explicit GainRamp(double gain = 1.0);
    GainRamp(double from, double to, long long frames);

    // The gain at `frame` frames after the ramp's start; `to` from its end on.
    double at(long long frame) const;
    bool isDoneAt(long long frame) const { return frame >= m_frames; }
    double to() const { return m_to; }
    long long frames() const { return m_frames; }

    static long long fadeFrames(int rate);

private:
    double m_from;
    double m_to;
    long long m_frames;
};
