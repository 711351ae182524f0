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
    letMixedOutGo();
    m_past.push_back(std::move(branch));
    branch = std::move(next);
    QTimer::singleShot(SweepMs, this, &LoopRounds::letMixedOutGo);
    return true;
}

void LoopRounds::letMixedOutGo()
{
    std::erase_if(m_past, [](const std::unique_ptr<ChannelBranch> &round) { return round->isMixedOut(); });
}
