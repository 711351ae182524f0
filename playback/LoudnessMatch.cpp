#include "LoudnessMatch.h"

#include "Loudness.h"

#include <cmath>

namespace {

constexpr int FadeStepMs = 40;
constexpr double FadeStepDb = 1.0; // a 6 dB step fades in a quarter of a second

} // namespace

LoudnessMatch::LoudnessMatch()
{
    m_fade.setInterval(FadeStepMs);
    connect(&m_fade, &QTimer::timeout, this, &LoudnessMatch::step);
    for (int channel = 0; channel < Channels; ++channel) {
        m_meters[channel] = std::make_unique<LoudnessMeter>();
        connect(m_meters[channel].get(), &LoudnessMeter::measured, this, [this, channel](const QString &file, double lufs) {
            if (file != m_files[channel])
                return;
            m_lufs[channel] = lufs;
            m_fade.start();
        });
    }
}

void LoudnessMatch::measure(int channel, const QString &fileName)
{
    if (fileName == m_files[channel])
        return;
    m_files[channel] = fileName;
    m_lufs[channel].reset();
    // Whether matching is on or not: turned on later, it applies at once.
    m_meters[channel]->measure(fileName);
    m_fade.start();
}

void LoudnessMatch::setEnabled(bool on)
{
    m_enabled = on;
    m_fade.start();
}

double LoudnessMatch::targetDb(int channel) const
{
    const std::optional<double> &own = m_lufs[channel], &other = m_lufs[1 - channel];
    return m_enabled && own && other ? matchGainDb(*own, *other) : 0;
}

void LoudnessMatch::step()
{
    bool moving = false;
    for (int channel = 0; channel < Channels; ++channel) {
        const double target = targetDb(channel), now = m_now[channel];
        m_now[channel] = std::abs(target - now) <= FadeStepDb ? target : now + std::copysign(FadeStepDb, target - now);
        moving |= m_now[channel] != target;
    }
    if (!moving)
        m_fade.stop();
    emit gainsChanged();
}
