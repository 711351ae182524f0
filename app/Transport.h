#pragma once

#include "ButtonImageSet.h"

#include <QString>

#include <functional>

class MediaChannel;
class OpenFileDialog;

enum class TransportButton { Play, Pause, Stop };

// What the transport looks show: Playing while Pause is available, Paused
// while Stop alone is, Stopped otherwise (at start and after Stop).
enum class TransportState { Stopped, Playing, Paused };

inline TransportState transportStateOfLooks(bool pauseAvailable, bool stopAvailable)
{
    return pauseAvailable  ? TransportState::Playing
           : stopAvailable ? TransportState::Paused
                           : TransportState::Stopped;
}

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
    // The channel click's steps with the dialog answered by fileName.
    void channelOpen(int channelIndex, const QString &fileName);
    void playClick();
    void pauseClick();
    void stopClick();

    // Told each file a channel is given, for the desktop's now-playing display.
    std::function<void(int channelIndex, const QString &fileName)> onFileSet;

private:
    void loadChannel(int channelIndex, const std::function<QString()> &chooseFile);
    TransportChannel &channel(int index) { return index == 0 ? m_channel1 : m_channel2; }

    TransportLooks &m_looks;
    TransportChannel m_channel1;
    TransportChannel m_channel2;
    ShowButtonImage m_showButtonImage;
};
