#include "OutputRetry.h"

#include <algorithm>

OutputRetry::OutputRetry(std::function<bool()> attempt, QObject *parent)
    : QObject(parent)
    , m_attempt(std::move(attempt))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &OutputRetry::tryNow);
}

void OutputRetry::start()
{
    if (!m_timer.isActive())
        m_timer.start(FirstWaitMs);
}

void OutputRetry::stop() { m_timer.stop(); }

void OutputRetry::tryNow()
{
    if (m_attempt()) {
        emit outputBack();
        return;
    }
    m_timer.start(std::min(m_timer.interval() * 2, LongestWaitMs));
}
