#pragma once

#include <QPropertyAnimation>
#include <QTimer>
#include <QWidget>

// A small frameless display beside a channel button while that channel's
// volume changes: the channel's number, a bar and the percentage, in the
// channel's colour, and after them what else sets the channel's sound: the
// gain matching gives it, and that it is heard alone. It fades a second after
// the last change, and takes neither the keyboard focus nor the mouse.
class LevelDisplay : public QWidget
{
    Q_OBJECT

public:
    explicit LevelDisplay(QWidget *parent);

    // channel: 0 or 1; beside: the channel button, in screen coordinates;
    // gainDb: what matching the other's loudness takes off, shown when not 0;
    // alone: only this channel is heard.
    void showLevel(int channel, int percent, const QRect &beside, double gainDb = 0, bool alone = false);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString note() const;

private:
    int m_channel = 0;
    int m_percent = 0;
    double m_gainDb = 0;
    bool m_alone = false;
    QTimer m_hold;
    QPropertyAnimation m_fade;
};
