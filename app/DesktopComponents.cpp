#include "DesktopComponents.h"

#include "GstMediaChannel.h"
#include "Playback.h"
#include "QtOpenFileDialog.h"

#include <QCoreApplication>
#include <QDir>

namespace {

// Interim: the two channels as they were, until the shared engine replaces them.
class SeparateChannels : public Playback
{
public:
    MediaChannel &channel(int index) override { return m_channels[index]; }
    void setVolume(int, double) override {}
    double volume(int) const override { return 1; }
    void setMuted(int, bool) override {}
    bool isMuted(int) const override { return false; }
    void seekBy(qint64) override {}
    void seekTo(qint64) override {}
    qint64 positionMs() const override { return -1; }
    qint64 durationMs() const override { return -1; }

private:
    GstMediaChannel m_channels[ChannelCount];
};

} // namespace

Frm_MainComponents desktopComponents(WindowSlot<Frm_Help> &helpSlot, WindowSlot<Frm_About> &aboutSlot)
{
    Frm_MainComponents components;
    components.programFolder = [] { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()); };
    components.makePlayback = [] { return std::make_unique<SeparateChannels>(); };
    components.makeDialog = [](const OpenFileDialogSettings &settings, QWidget *parent) {
        return std::make_unique<QtOpenFileDialog>(settings, parent);
    };
    components.helpSlot = &helpSlot;
    components.aboutSlot = &aboutSlot;
    return components;
}
