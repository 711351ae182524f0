#pragma once

#include <QMenu>
#include <QTimer>

class Frm_Main;
class QActionGroup;

// "m:ss" of a time in milliseconds, counted down to the second.
QString minutesSeconds(qint64 ms);

// What a channel holds, in one line: the file's name with the channel's
// offset when it has one, and, while the file is open, its position in the
// file and the file's length ("a.wav (+250 ms)  1:05 / 3:20"; -1 for a figure
// not known); "no file" without one. A right-to-left line sets the name, the
// offset and the times apart, so that none reorders another.
QString channelSummary(const QString &fileName, qint64 positionMs, qint64 durationMs, qint64 offsetMs = 0,
                       bool rightToLeft = false);

// The menu of a channel button's right mouse button (and of the menu key
// while the button has the focus), right to left like the menu bar: what the
// channel holds, kept current while it is open; Loop and Mute, which the
// engine keeps across Stop, Play and new files; the output the channel
// leaves by, among the sound server's outputs as they are when the menu
// opens; Solo and Match loudness, to compare the two; Offset..., to line
// them up; and Open..., the same as a left click on the button.
class ChannelMenu : public QMenu
{
    Q_OBJECT

public:
    explicit ChannelMenu(Frm_Main &window);

    // 0 for channel 1, 1 for channel 2.
    void popupFor(int channel, const QPoint &globalPos);
    int channel() const { return m_channel; }

private:
    void refresh();
    void listOutputs();

    Frm_Main &m_window;
    int m_channel = 0;
    QAction *m_info;
    QAction *m_loop;
    QAction *m_mute;
    QMenu *m_output;
    QActionGroup *m_outputChoice; // one checked at a time
    QAction *m_solo;
    QAction *m_match;
    QAction *m_offset;
    QAction *m_open;
    QTimer m_refresh;
};
