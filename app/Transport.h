#pragma once

#include "ButtonImageSet.h"

#include <functional>

class MediaChannel;
class OpenFileDialog;

enum class TransportButton { Play, Pause, Stop };

// The six flags that are the only record of the transport state: each
// transport button's Enabled flag and its disabled-look overlay's Visible flag.
class TransportLooks
{
public:
    virtual ~TransportLooks() = default;
    virtual void setOverlayVisible(TransportButton button, bool visible) = 0;
    virtual void setButtonEnabled(TransportButton button, bool enabled) = 0;
};

// One channel: its media channel, its open-file dialog and its button.
struct TransportChannel
{
    MediaChannel &media;
    OpenFileDialog &dialog;
    SkinButton button;
};

// The five click handlers of the transport. Each runs its whole sequence
// whatever the looks show; the order of the steps is what the user sees and
// hears, so it is kept exactly.
class Transport
{
public:
    using ShowButtonImage = std::function<void(SkinButton, ButtonVisualState)>;

    Transport(TransportLooks &looks, TransportChannel channel1, TransportChannel channel2,
              ShowButtonImage showButtonImage);

    void channelClick(int channelIndex); // 0 for channel 1, 1 for channel 2
    void playClick();
    void pauseClick();
    void stopClick();

private:
    TransportChannel &channel(int index) { return index == 0 ? m_channel1 : m_channel2; }

    TransportLooks &m_looks;
    TransportChannel m_channel1;
    TransportChannel m_channel2;
    ShowButtonImage m_showButtonImage;
};
