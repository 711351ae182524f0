#pragma once

#include <QPropertyAnimation>
#include <QTimer>
#include <QWidget>

// A small frameless display beside a channel button while that channel's
// volume changes: the channel's number, a bar and the percentage, in the
// channel's colour. It fades a second after the last change, and takes
// neither the keyboard focus nor the mouse.
class LevelDisplay : public QWidget
{
    Q_OBJECT

public:
    explicit LevelDisplay(QWidget *parent);

    // channel: 0 or 1; beside: the channel button, in screen coordinates;
    // gainDb: what matching the other's loudness takes off, shown when not 0.
    void showLevel(int channel, int percent, const QRect &beside, double gainDb = 0);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString gainText() const;

private:
    int m_channel = 0;
    int m_percent = 0;
    double m_gainDb = 0;
    QTimer m_hold;
    QPropertyAnimation m_fade;
};
