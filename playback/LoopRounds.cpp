#include "LoopRounds.h"

#include <QTimer>

bool LoopRounds::advance(std::unique_ptr<ChannelBranch> &branch, const QString &fileName, ChannelBranch::Setup setup)
{
    setup.joinAt = branch->endRunningTime();
    std::unique_ptr<ChannelBranch> next = ChannelBranch::create(fileName, setup);
    branch->finishRound();
    if (!next) {
        branch->setEnded(true);
        return false;
    }
    next->setDurationMs(branch->durationMs());
    m_past.push_back(std::move(branch));
    branch = std::move(next);
    QTimer::singleShot(KeptMs, this, [this] {
        if (!m_past.empty())
            m_past.pop_front();
    });
    return true;
}
