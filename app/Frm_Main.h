#pragma once

#include "ButtonImageLoader.h"
#include "ButtonImageSet.h"
#include "ButtonLooks.h"
#include "SoundServerOutput.h"
#include "Transport.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class ChannelMenu;
class Frm_About;
class Frm_Help;
class MediaChannel;
class OpenFileDialog;
class PictureButton;
class Playback;
struct OpenFileDialogSettings;
template <typename Window> class WindowSlot;

namespace Ui {
class Frm_Main;
}

// What the main window is built from besides its stored definition: the
// program's folder, its two media channels and open-file dialogs, and the
// program-wide slots of the help and about windows. Tests put fakes here.
struct Frm_MainComponents
{
    std::function<QString()> programFolder;
    std::function<std::unique_ptr<Playback>()> makePlayback;
    std::function<std::unique_ptr<OpenFileDialog>(const OpenFileDialogSettings &, QWidget *parent)> makeDialog;
    std::function<SoundServerOutputs()> listOutputs; // the sound server's, asked anew each time
    WindowSlot<Frm_Help> *helpSlot = nullptr;
    WindowSlot<Frm_About> *aboutSlot = nullptr;
};

class Frm_Main : public QMainWindow, private TransportLooks
{
    Q_OBJECT

public:
    explicit Frm_Main(Frm_MainComponents components, QWidget *parent = nullptr);
    ~Frm_Main() override;

    QString AppFolder;
    QString SkinFolder;

    PictureButton *button(SkinButton which) const;
    PictureButton *overlay(TransportButton which) const;
    const Ui::Frm_Main &controls() const { return *ui; }
    Playback &playback() { return *m_playback; }

    void ShowButtonImage(SkinButton button, ButtonVisualState state);

    // Ways in from the desktop, beside the controls and menus.
    void openFile(int channelIndex, const QString &fileName); // as if the channel's dialog chose it
    TransportState transportState() const;
    void playPause(); // Pause while playing, Play otherwise
    void seekBothBy(qint64 offsetMs); // nothing while stopped

    // True while a channel's or the skin's open-file dialog is open: no other
    // handler of the window may run until it has closed.
    bool dialogOpen() const { return m_dialogsOpen > 0; }
    // The file last chosen for a channel, empty before any.
    QString channelFile(int channelIndex) const { return m_channelFiles[channelIndex]; }
    // A channel's settings, which the engine keeps across Stop, Play and files.
    void setChannelVolume(int channelIndex, double level);
    void setChannelMuted(int channelIndex, bool muted);
    void setChannelLooping(int channelIndex, bool looping);
    // Both channels at the loudness of the quieter one.
    void setMatchLoudness(bool on);
    // Where a channel's file falls against the other's, as Playback takes it.
    void setChannelOffset(int channelIndex, qint64 offsetMs);
    void editChannelOffset(int channelIndex); // in a modal box
    // Only that channel heard, or both (-1); the other's button is dimmed.
    void setSolo(int channelIndex);
    // An empty output: with the other channel.
    void setChannelOutput(int channelIndex, const SoundServerOutput &output);
    SoundServerOutputs outputs() const;
    ChannelMenu *channelMenu() const { return m_channelMenu; }

    // Window events and menu commands, under the names the window defines.
    void Form_Initialize();
    void Form_Load();
    void Form_MouseMove();
    void Img_1_Click();
    void Img_1_MouseDown();
    void Img_1_MouseMove();
    void Img_2_Click();
    void Img_2_MouseDown();
    void Img_2_MouseMove();
    void Img_Stop_Click();
    void Img_Pause_Click();
    void Img_Pause_MouseDown();
    void Img_Pause_MouseMove();
    void Img_Play_Click();
    void Img_Play_MouseDown();
    void Img_Play_MouseMove();
    void Img_Stop_MouseDown();
    void Img_Stop_MouseMove();
    void Mnu_About_Click();
    void Mnu_ChoseSkin_Click();
    void Mnu_Exit_Click();
    void Mnu_Help_Click();
    void Mnu_Min_Click();
    void Mnu_Open1_Click();
    void Mnu_Open2_Click();
    void Mnu_Pause_Click();
    void Mnu_Play_Click();
    void Mnu_Stop_Click();

signals:
    void transportLooksChanged();
    void channelFileSet(int channelIndex, const QString &fileName);
    void dialogOpenChanged(bool open);
    void channelSettingsChanged(); // a channel's volume, mute or loop
    void channelOffsetChanged(int channelIndex);

private:
    void setOverlayVisible(TransportButton button, bool visible) override;
    void setButtonEnabled(TransportButton button, bool enabled) override;
    void connectControls();
    void connectChannelButton(int channelIndex, PictureButton *button);
    void whileDialogOpen(const std::function<void()> &run);
    void channelDescriptionChanged(int channelIndex);

    std::unique_ptr<Ui::Frm_Main> ui;
    Frm_MainComponents m_components;
    std::unique_ptr<Playback> m_playback;
    MediaChannel *Mmc_1 = nullptr;
    MediaChannel *Mmc_2 = nullptr;
    std::unique_ptr<OpenFileDialog> Cmo_1;
    std::unique_ptr<OpenFileDialog> Cmo_2;
    std::unique_ptr<OpenFileDialog> Cmo_Img;
    std::unique_ptr<Transport> m_transport;
    ButtonLooks m_looks;
    ButtonImageLoader m_imageLoader;
    ChannelMenu *m_channelMenu = nullptr;
    QString m_channelFiles[2];
    SoundServerOutput m_channelOutputs[2]; // as last chosen; the engine may have given it up since
    int m_dialogsOpen = 0;
};
