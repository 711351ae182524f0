#pragma once

#include "ChannelBranch.h"

#include <QObject>

#include <deque>
#include <memory>

// The rounds of looping channels. A looping branch holds its end back from
// the mixer; the file's next round then joins right where it ends, so that
// no sample is lost or played twice, and the finished round is let go once
// the mixer has mixed it all. A short file makes many rounds a second, each
// with its own threads: only those still being mixed are kept.
class LoopRounds : public QObject
{
public:
    // How often finished rounds are looked at once no new round comes.
    static constexpr int SweepMs = 500;

    // Replaces branch with the next round of fileName. False, with the
    // round ended and kept as it is, when the file can't be opened again.
    bool advance(std::unique_ptr<ChannelBranch> &branch, const QString &fileName, ChannelBranch::Setup setup);
    void clear() { m_past.clear(); }

private:
    void letMixedOutGo();

    std::deque<std::unique_ptr<ChannelBranch>> m_past;
};
