#pragma once

#include <gst/gst.h>

#include <QObject>
#include <QTimer>

#include <array>
#include <functional>

class ChannelBranch;

// A channel moved to another place in its file while it is heard: its gain
// goes to 0 (the mixer fades every change of gain over a few ms), it jumps
// once that fade is mixed, and its gain comes back, so the jump does not
// click. A fade not mixed within 200 ms (the output stalled) jumps anyway.
class FadedJumps : public QObject
{
public:
    static constexpr int Channels = 2;

    // branchOf: what a channel plays now (null: nothing); jump: moves it;
    // applyGain: sets its gain anew, 0 while isJumping().
    FadedJumps(std::function<ChannelBranch *(int)> branchOf, std::function<void(int)> jump,
               std::function<void(int)> applyGain);

    void start(int channel);
    bool isJumping(int channel) const { return m_jumps[channel].jumping; }

private:
    void check();

    struct Jump
    {
        bool jumping = false;
        GstClockTimeDiff fadedOutAt = 0; // running time by which the fade is mixed
        int waits = 0;
    };
    std::function<ChannelBranch *(int)> m_branchOf;
    std::function<void(int)> m_jump;
    std::function<void(int)> m_applyGain;
    std::array<Jump, Channels> m_jumps;
    QTimer m_timer;
};
