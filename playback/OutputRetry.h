#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

// Tries the sound output again after it was lost: soon at first, then less
// and less often, so that waiting for a sound server that stays away costs
// nothing, and never on the window's time for long.
class OutputRetry : public QObject
{
    Q_OBJECT

public:
    static constexpr int FirstWaitMs = 100;
    static constexpr int LongestWaitMs = 2000;

    // attempt says whether the output answers now.
    explicit OutputRetry(std::function<bool()> attempt, QObject *parent = nullptr);

    void start(); // from the shortest wait; nothing when already waiting
    void stop();
    bool isWaiting() const { return m_timer.isActive(); }

signals:
    void outputBack();

private:
    void tryNow();

    std::function<bool()> m_attempt;
    QTimer m_timer;
};
