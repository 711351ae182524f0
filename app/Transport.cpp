#include "Transport.h"

#include "MediaChannel.h"
#include "OpenFileDialog.h"

namespace {
const QString Open = QStringLiteral("open");
const QString Play = QStringLiteral("play");
const QString Pause = QStringLiteral("pause");
const QString Close = QStringLiteral("close");
} // namespace

Transport::Transport(TransportLooks &looks, TransportChannel channel1, TransportChannel channel2,
                     ShowButtonImage showButtonImage)
    : m_looks(looks)
    , m_channel1(channel1)
    , m_channel2(channel2)
    , m_showButtonImage(std::move(showButtonImage))
{
}

void Transport::stopClick()
{
    m_channel1.media.command(Close);
    m_channel2.media.command(Close);
    m_looks.setOverlayVisible(TransportButton::Stop, true);
    m_looks.setButtonEnabled(TransportButton::Stop, false);
    m_looks.setOverlayVisible(TransportButton::Play, false);
    m_looks.setButtonEnabled(TransportButton::Play, true);
    m_looks.setOverlayVisible(TransportButton::Pause, true);
    m_looks.setButtonEnabled(TransportButton::Pause, false);
}

void Transport::pauseClick()
{
    m_looks.setOverlayVisible(TransportButton::Play, false);
    m_looks.setOverlayVisible(TransportButton::Pause, true);
    m_looks.setButtonEnabled(TransportButton::Pause, false);
    m_looks.setButtonEnabled(TransportButton::Play, true);
    m_looks.setOverlayVisible(TransportButton::Stop, false);
    m_looks.setButtonEnabled(TransportButton::Stop, true);
    m_channel1.media.command(Pause);
    m_channel2.media.command(Pause);
}

void Transport::playClick()
{
    m_looks.setOverlayVisible(TransportButton::Pause, false);
    m_looks.setOverlayVisible(TransportButton::Play, true);
    m_looks.setButtonEnabled(TransportButton::Play, false);
    m_looks.setButtonEnabled(TransportButton::Pause, true);
    m_looks.setOverlayVisible(TransportButton::Stop, false);
    m_looks.setButtonEnabled(TransportButton::Stop, true);
    // Channel 2 is opened only after channel 1's "play" has returned.
    m_channel1.media.command(Open);
    m_channel1.media.command(Play);
    m_channel2.media.command(Open);
    m_channel2.media.command(Play);
}

void Transport::channelClick(int channelIndex)
{
    OpenFileDialog &dialog = channel(channelIndex).dialog;
    loadChannel(channelIndex, [&dialog] {
        dialog.showOpen();
        return dialog.fileName();
    });
}

void Transport::channelOpen(int channelIndex, const QString &fileName)
{
    loadChannel(channelIndex, [&fileName] { return fileName; });
}

void Transport::loadChannel(int channelIndex, const std::function<QString()> &chooseFile)
{
    TransportChannel &chosen = channel(channelIndex);
    // Both channels fall silent before the file is chosen.
    stopClick();
    const QString fileName = chooseFile();
    if (!fileName.isEmpty()) {
        // A cancel keeps the channel's previous file.
        chosen.media.setFileName(fileName);
        m_looks.setOverlayVisible(TransportButton::Play, false);
        m_looks.setButtonEnabled(TransportButton::Play, true);
        if (onFileSet)
            onFileSet(channelIndex, fileName);
    }
    m_showButtonImage(chosen.button, ButtonVisualState::Normal);
}
