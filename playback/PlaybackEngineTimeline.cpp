// The engine's timeline: positions, seeks, the length, and each channel's
// offset on it.
#include "PlaybackEngine.h"
#include "PlaybackEngineState.h"

#include <algorithm>
#include <limits>

namespace {

qint64 saturatingAdd(qint64 a, qint64 b)
{
    qint64 sum;
    if (!__builtin_add_overflow(a, b, &sum))
        return sum;
    return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
}

} // namespace

void PlaybackEngine::seekTo(qint64 positionMs)
{
    if (m_outputDown && m_resumeAtMs >= 0) {
        m_resumeAtMs = std::max<qint64>(0, positionMs);
        return;
    }
    if (!m_pipeline || m_target < GST_STATE_PAUSED)
        return;
    seekPipeline(positionMs);
}

// One seek of the whole pipeline moves both channels together; the mixer
// passes it to each branch. Any position clamps to the files: past the
// longer one's end is its end.
void PlaybackEngine::seekPipeline(qint64 positionMs)
{
    const qint64 durationMs = this->durationMs();
    const qint64 endMs = durationMs >= 0 ? durationMs : std::numeric_limits<qint64>::max() / GST_MSECOND;
    const gint64 position = std::clamp<qint64>(positionMs, 0, endMs) * GST_MSECOND;
    // Every file from the same place again, a looping one's later rounds
    // too; each branch places its file there by its offset.
    m_loopRounds.clear();
    if (gst_element_seek_simple(m_pipeline.get(), GST_FORMAT_TIME,
                                GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), position)) {
        m_outputHoldsSound = false; // flushed
        m_lastPositionMs = position / GST_MSECOND;
        m_timelineAtZeroMs = m_lastPositionMs;
        for (auto &c : m_channels)
            if (c->branch)
                c->branch->setEnded(false);
    }
}

void PlaybackEngine::seekBy(qint64 offsetMs)
{
    const qint64 position = positionMs();
    if (position >= 0)
        seekTo(saturatingAdd(position, offsetMs));
}

qint64 PlaybackEngine::positionMs() const
{
    if (m_outputDown)
        return m_resumeAtMs;
    gint64 position = -1;
    if (!m_pipeline || m_target < GST_STATE_PAUSED
        || !gst_element_query_position(m_pipeline.get(), GST_FORMAT_TIME, &position))
        return -1;
    return position / GST_MSECOND;
}


qint64 PlaybackEngine::durationMs() const
{
    // The latest end on the timeline.
    qint64 latest = std::numeric_limits<qint64>::min();
    for (auto &c : m_channels) {
        const qint64 own = c->branch ? c->branch->durationMs() : -1;
        if (own >= 0)
            latest = std::max(latest, saturatingAdd(own, c->offsetMs));
    }
    if (latest != std::numeric_limits<qint64>::min() && m_target >= GST_STATE_PAUSED)
        return std::max<qint64>(0, latest);
    gint64 duration = -1;
    if (!m_pipeline || m_target < GST_STATE_PAUSED
        || !gst_element_query_duration(m_pipeline.get(), GST_FORMAT_TIME, &duration))
        return -1;
    return duration / GST_MSECOND;
}

qint64 PlaybackEngine::channelPositionMs(int index) const
{
    const ChannelState &c = *m_channels[index];
    const qint64 position = positionMs();
    if (!c.branch || position < 0)
        return -1;
    const qint64 inFile = position - m_timelineAtZeroMs + c.branch->fileAtRunningZero() / GST_MSECOND;
    const qint64 duration = c.branch->durationMs();
    return std::clamp<qint64>(inFile, 0, duration >= 0 ? duration : inFile);
}

void PlaybackEngine::setOffset(int index, qint64 offsetMs)
{
    ChannelState &c = *m_channels[index];
    // Within what nanoseconds can hold on the timeline.
    c.offsetMs = std::clamp<qint64>(offsetMs, -MaxOffsetMs, MaxOffsetMs);
    if (!c.branch || m_outputDown || m_target < GST_STATE_PAUSED)
        return; // placed so at the next start
    c.branch->setOffset(c.offsetMs * GST_MSECOND);
    if (m_target == GST_STATE_PLAYING && isPlaying(index))
        m_jumps.start(index);
    else
        jump(index);
}

// Alone, on from the next block the mixer makes: the other channel goes on.
void PlaybackEngine::jump(int index)
{
    ChannelState &c = *m_channels[index];
    c.branch->jump(placeChannel(m_timelineAtZeroMs * GST_MSECOND, c.offsetMs * GST_MSECOND, c.branch->nextMixTime()));
    c.branch->setEnded(false);
}

qint64 PlaybackEngine::offsetMs(int index) const { return m_channels[index]->offsetMs; }
