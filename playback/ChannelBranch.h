#pragma once

#include "ChannelPlacement.h"
#include "GstHandles.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class SectorReader;

// One channel's file in the shared pipeline: a bin that decodes it, brings
// its sound to the mixer's one format and feeds one mixer pad; pictures go
// to a window of their own (or are dropped). The bin is in the pipeline
// from creation until destruction.
class ChannelBranch
{
public:
    struct Setup
    {
        GstElement *pipeline = nullptr;
        GstElement *mixer = nullptr; // of the output it leaves by
        GstCaps *mixCaps = nullptr;   // the mixer's fixed format
        bool showVideo = true;
        // The other channel sounds: this one joins the mixer when its sound
        // comes, at that moment, so the other never waits for it.
        bool joinsPlaying = false;
        // A loop's next round: joins the mixer at once, starting at this
        // running time, where the round before ends; -1 for none.
        GstClockTimeDiff joinAt = -1;
        // Its gain from the first sample: the mixer pad may be made on a
        // streaming thread before anyone could set it. Looping likewise: a
        // short file can end before its maker's next word.
        double volume = 1;
        bool muted = false;
        bool looping = false;
        // Its channel's offset on the timeline, ns: a fresh start places
        // the file that much later (a negative one needs a seek to skip).
        GstClockTimeDiff offset = 0;
    };

    // Null when the file can't even be handed to the decoder.
    static std::unique_ptr<ChannelBranch> create(const QString &fileName, const Setup &setup);
    ~ChannelBranch();

    ChannelBranch(const ChannelBranch &) = delete;
    ChannelBranch &operator=(const ChannelBranch &) = delete;

    const QString &fileName() const { return m_fileName; }
    // Whether a message came from inside this branch.
    bool contains(GstObject *object) const;
    bool isMessageOfEnd(GstMessage *message) const;
    // A looping branch holds its end back from the mixer and says so
    // instead, so that the next round can join exactly there.
    bool isMessageOfLoop(GstMessage *message) const;
    void setLooping(bool looping) { m_looping = looping; }
    // The running time at which its sound ends (once it has ended).
    GstClockTimeDiff endRunningTime() const { return m_endRunning; }
    // Lets the mixer go past a held-back end: the round is over.
    void finishRound();
    // The mixer has mixed all of its sound: it can go.
    bool isMixedOut() const;
    // Its file's position at running time 0 (may be negative): the place
    // in the file is the running time plus this.
    GstClockTimeDiff fileAtRunningZero() const;
    qint64 durationMs() const; // -1 until known

    // A seek of the whole pipeline places the file by this offset (ns).
    void setOffset(GstClockTimeDiff offset) { m_offset = offset; }
    // Alone, while the other plays on: the file read from the placement's
    // start, at its pad offset (after a flush of this branch only).
    void jump(const ChannelPlacement &placement);
    // The earliest running time at which its sound can still be changed.
    GstClockTimeDiff nextMixTime() const;
    // The mixer has mixed its sound up to that running time.
    bool isMixedPast(GstClockTimeDiff runningTime) const;
    void setDurationMs(qint64 ms) { m_durationMs = ms; } // known from an earlier round

    // Sound (or its end) has reached the mixer.
    bool hasStarted() const { return m_started; }
    // Its channel sounds: it has started, or it is a loop's next round,
    // which the channel plays on into while it starts.
    bool sounds() const { return m_started || isLaterRound(); }
    bool hasEnded() const { return m_ended; }
    void setEnded(bool ended) { m_ended = ended; }

    // Leaves the mixer until its first sound comes, then joins at that
    // moment, so the other channel need not wait; false once it has started.
    bool waitApart();

    // Linear gain on the mixer pad.
    void setVolume(double linear, bool muted);

    // Leaves its mixer for another of the same format between two of its
    // buffers, at the same running time: its sound goes on from where it
    // is. The old mixer's pad is let go then.
    void moveTo(GstElement *mixer);

private:
    ChannelBranch(QString fileName, const Setup &setup);
    bool build();
    bool addDecoder();
    bool addSynthesiser();
    void linkAudio(GstPad *pad);
    void linkVideo(GstPad *pad);

    static void onPadAdded(GstElement *decoder, GstPad *pad, gpointer self);
    static void onNoMorePads(GstElement *decoder, gpointer self);
    static GstPadProbeReturn onOutput(GstPad *pad, GstPadProbeInfo *info, gpointer self);
    static GstPadProbeReturn onIdleToMove(GstPad *pad, GstPadProbeInfo *info, gpointer self);
    static GstPadProbeReturn onSeek(GstPad *pad, GstPadProbeInfo *info, gpointer self);
    void releaseMixerPad(GstPadRef pad);
    void placeAfterFlush(const ChannelPlacement &placement);
    bool isLaterRound() const { return m_setup.joinAt >= 0; }
    bool joinMixer(GstClockTimeDiff startsAt);

    QString m_fileName;
    Setup m_setup;
    GstElementRef m_bin;
    GstElementRef m_convert; // first element of the sound chain
    GstPadRef m_formatSrc;   // last pad inside the bin, behind the output
    std::mutex m_mixerMutex; // the mixer pad may be linked on a streaming thread
    GstPadRef m_mixerPad;
    std::atomic<GstElement *> m_mixer; // the one it joins; the output's, which may change
    gulong m_moveProbe = 0;
    bool m_moved = false; // the move was made before its probe was noted
    GstPad *m_output = nullptr; // owned by the bin
    bool m_leaving = false;
    std::atomic<bool> m_joinLater{false};
    double m_volume = 1;
    bool m_muted = false;
    std::unique_ptr<SectorReader> m_sectors;
    std::atomic<bool> m_audioLinked{false};
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_looping{false};
    std::atomic<GstClockTimeDiff> m_endRunning{0};
    std::atomic<GstClockTimeDiff> m_offset{0};
    std::atomic<GstClockTimeDiff> m_fileStart{0}; // where its file is read from since the last seek
    std::atomic<bool> m_offsetPending{false};     // set at the seek's flush
    std::atomic<GstClockTimeDiff> m_pendingPadOffset{0};
    mutable qint64 m_durationMs = -1;
    GstSegment m_segment; // of the sound leaving the branch; streaming thread only
    std::atomic<GstElement *> m_synth{nullptr}; // from the pool, held by the bin
    bool m_ended = false;
};
