#include "FadedJumps.h"

#include "ChannelBranch.h"

namespace {

constexpr int CheckMs = 5;
constexpr int Checks = 40;
// Beyond the next block, the fade's own length and some.
constexpr GstClockTimeDiff Fade = 10 * GST_MSECOND;

} // namespace

FadedJumps::FadedJumps(std::function<ChannelBranch *(int)> branchOf, std::function<void(int)> jump,
                       std::function<void(int)> applyGain)
    : m_branchOf(std::move(branchOf))
    , m_jump(std::move(jump))
    , m_applyGain(std::move(applyGain))
{
    m_timer.setInterval(CheckMs);
    connect(&m_timer, &QTimer::timeout, this, &FadedJumps::check);
}

void FadedJumps::start(int channel)
{
    Jump &j = m_jumps[channel];
    ChannelBranch *branch = m_branchOf(channel);
    // Already fading: the jump goes to wherever it is asked to last.
    if (!branch || j.jumping)
        return;
    j = {true, branch->nextMixTime() + Fade, 0};
    m_applyGain(channel);
    m_timer.start();
}

void FadedJumps::check()
{
    bool anyWaiting = false;
    for (int i = 0; i < Channels; ++i) {
        Jump &j = m_jumps[i];
        if (!j.jumping)
            continue;
        ChannelBranch *branch = m_branchOf(i);
        if (branch && !branch->isMixedPast(j.fadedOutAt) && ++j.waits < Checks) {
            anyWaiting = true;
            continue;
        }
        j.jumping = false;
        if (branch)
            m_jump(i);
        m_applyGain(i);
    }
    if (!anyWaiting)
        m_timer.stop();
}
