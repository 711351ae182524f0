#pragma once

#include "MediaChannel.h"

#include <QString>

#include <functional>
#include <QtGlobal>

// Both media channels and what the transport does to them together. The
// channels take the words of the MediaChannel interface; the rest stands
// beside it: a volume for each channel, and seeking both at once, which
// keeps them aligned.
class Playback
{
public:
    static constexpr int ChannelCount = 2;

    virtual ~Playback() = default;

    // 0 for channel 1, 1 for channel 2.
    virtual MediaChannel &channel(int index) = 0;

    // Perceptual level from 0 to 1 (cubic, as desktop volume sliders are);
    // 1 at start. It holds across files, Stop and Play.
    virtual void setVolume(int channel, double level) = 0;
    virtual double volume(int channel) const = 0;
    virtual void setMuted(int channel, bool muted) = 0;
    virtual bool isMuted(int channel) const = 0;

    // Both channels together, while open (playing or paused); nothing
    // otherwise. A position before 0 is 0; a channel shorter than the new
    // position is at its end.
    virtual void seekBy(qint64 offsetMs) = 0;
    virtual void seekTo(qint64 positionMs) = 0;
    // -1 while nothing is open or the figure is not known yet.
    virtual qint64 positionMs() const = 0;
    virtual qint64 durationMs() const = 0;

    // A looping channel starts again from its first sample the moment it
    // ends, with no gap; the other channel goes on untouched. Like the
    // volume, it holds across files, Stop and Play.
    virtual void setLooping(int channel, bool looping) = 0;
    virtual bool isLooping(int channel) const = 0;
    // One channel's place in its file (within the file while it loops) and
    // the file's length; -1 while not open or not known yet.
    virtual qint64 channelPositionMs(int channel) const = 0;
    virtual qint64 channelDurationMs(int channel) const = 0;

    // The sound server's output a channel leaves by, by the server's name
    // for it; empty: with the other channel, on the desktop's default
    // output (and following it). Like the volume, it holds across files,
    // Stop and Play. An output that goes away gives its channel back to the
    // default, so this may turn empty by itself.
    virtual void setOutput(int channel, const QString &outputName) = 0;
    virtual QString output(int channel) const = 0;
    // Called when a channel's output went away and the channel was given
    // back to the default; set by whoever shows the output.
    std::function<void(int channel)> outputGivenBack;

    // Both channels at the loudness of the quieter (EBU R128): the louder
    // one is turned down, on top of its volume, once both files are
    // measured; off at start, for the run.
    virtual void setMatchLoudness(bool on) = 0;
    virtual bool matchesLoudness() const = 0;
    // The gain matching gives the channel now, in dB (0 or below).
    virtual double loudnessGainDb(int channel) const = 0;

    // A channel's place against the other's, in ms, for the run: positive,
    // its file starts that much later; negative, that much of its start is
    // skipped. The timeline (position, duration, seeks) is the one where a
    // channel at 0 plays its file from its start: channel i plays its file
    // at position - offset. A change while playing moves that channel alone.
    static constexpr qint64 MaxOffsetMs = 24LL * 3600 * 1000; // a day either way
    virtual void setOffset(int channel, qint64 offsetMs) = 0;
    virtual qint64 offsetMs(int channel) const = 0;

    // Only this channel heard (0 or 1), or both (-1); both keep playing on
    // one timeline, so a switch changes only what is heard, with a short
    // equal-power crossfade. For the run.
    virtual void setSolo(int channel) = 0;
    virtual int solo() const = 0;
};
