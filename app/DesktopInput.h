#pragma once

#include <QObject>
#include <QStringList>

class Frm_Main;
class LevelDisplay;
class QDropEvent;
class QMimeData;
class QWheelEvent;

// Which files a drop gives to channel 1 and channel 2 (an empty name leaves
// that channel alone), or an empty list when it is refused. overChannel is the
// channel button under the drop, -1 for anywhere else. One local file goes to
// the channel whose button it is dropped on; two together go to channels 1 and
// 2 in their order, wherever they are dropped. Nothing else is taken.
QStringList droppedFiles(const QMimeData &data, int overChannel);

// A channel's volume after the wheel turned by `notches` (up is louder):
// 5 % a notch, from 0 to 100 %.
int steppedVolumePercent(double level, int notches);

// The ways into the main window beside its controls and menus: files dropped
// on it, the keyboard's media keys, Left and Right to seek both channels, the
// wheel over a channel button for that channel's volume, L to match loudness,
// and 1, 2 and 0 for only channel 1, only channel 2 or both heard.
class DesktopInput : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 SeekStepMs = 5000;

    explicit DesktopInput(Frm_Main &window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int channelAt(QDropEvent *event) const;
    void wheel(int channel, QWheelEvent *event);
    void showLevel(int channel);
    void toggleMatchLoudness();
    void solo(int channel);

    Frm_Main &m_window;
    LevelDisplay *m_levelDisplay;
    int m_wheelRest[2] = {0, 0}; // eighths of a degree short of a notch
};
