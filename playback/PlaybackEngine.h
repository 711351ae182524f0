#pragma once

#include "ChannelBranch.h"
#include "CommandWord.h"
#include "FadedJumps.h"
#include "LoopRounds.h"
#include "LoudnessMatch.h"
#include "GstHandles.h"
#include "OutputFormat.h"
#include "OutputRetry.h"
#include "OutputSet.h"
#include "Playback.h"
#include "Preloader.h"
#include "SoundOutput.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class QSocketNotifier;

struct EngineOptions
{
    // gst-launch description of the sound output (a bin with one sink pad);
    // empty: the desktop's sound server.
    QString audioSink;
    // Pictures of video files go to a window of the channel's own when a
    // display exists; false, or no display: they are decoded and dropped.
    bool showVideo = true;
    // How long a file may take to reach the mixer before its channel is
    // given up: the other channel must not wait for ever.
    int openTimeoutMs = 3000;
    // Called with the output built from audioSink; lets a test attach to it.
    std::function<void(GstElement *audioSink)> audioSinkCreated;
    // Asked at each start for an output's own format (the sound server's
    // sink by its name; empty: the default one), so its mix is made in it;
    // without an answer, the format the output element alone accepts, else
    // defaultOutputFormat().
    std::function<std::optional<OutputFormat>(const QString &outputName)> outputFormat;
    // Asked at each start for the name of the desktop's default output, so
    // that a channel naming it is mixed with one that goes with the default.
    std::function<QString()> defaultOutputName;
};

// Both channels as branches of one GStreamer pipeline: each decodes its file
// into one mixer, which feeds one sound output. Sharing one clock and one
// running time, the channels start on the same sample and stay together.
//
// The channels' words are collected while a handler runs and carried out
// together as soon as it returns, so that "open, play" on channel 1 and then
// on channel 2 becomes one start. Nothing here blocks the window.
class PlaybackEngine : public QObject, public Playback
{
    Q_OBJECT

public:
    explicit PlaybackEngine(EngineOptions options = {}, QObject *parent = nullptr);
    ~PlaybackEngine() override;

    MediaChannel &channel(int index) override;
    void setVolume(int channel, double level) override;
    double volume(int channel) const override;
    void setMuted(int channel, bool muted) override;
    bool isMuted(int channel) const override;
    void seekBy(qint64 offsetMs) override;
    void seekTo(qint64 positionMs) override;
    qint64 positionMs() const override;
    qint64 durationMs() const override;
    void setLooping(int channel, bool looping) override;
    bool isLooping(int channel) const override;
    qint64 channelPositionMs(int channel) const override;
    qint64 channelDurationMs(int channel) const override;
    void setOutput(int channel, const QString &outputName) override;
    QString output(int channel) const override;
    void setMatchLoudness(bool on) override { m_loudness.setEnabled(on); }
    bool matchesLoudness() const override { return m_loudness.isEnabled(); }
    double loudnessGainDb(int channel) const override { return m_loudness.gainDb(channel); }
    void setOffset(int channel, qint64 offsetMs) override;
    qint64 offsetMs(int channel) const override;
    void setSolo(int channel) override;
    int solo() const override { return m_solo; }

    // The format a channel's mix is made in, once a start has asked for it.
    OutputFormat mixFormat(int channel = 0) const;

    // For diagnostics and tests: whether the channel's file is in the
    // pipeline, and whether its sound is reaching the mixer.
    bool isOpen(int channel) const;
    bool isPlaying(int channel) const;
    bool hasStarted(int channel) const; // sound or its end reached the mixer

signals:
    void channelFailed(int channel, const QString &message);

private:
    enum class Wanted { Closed, Paused, Playing };
    class Channel;
    struct ChannelState;

    void command(int channel, CommandWord word);
    void scheduleUpdate();
    void update();
    bool ensurePipeline();
    void dropPipeline();
    void rebuildAt(qint64 positionMs);
    void chooseFormat();
    OutputUnit *unitFor(int channel);
    void moveChannel(int channel);
    void giveBackToDefault(int channel);
    void dropIdleUnits();
    void checkOutputsThere();
    void prepareFor(const QString &fileName);
    void resetPipeline();
    void setTarget(GstState state);
    void openBranch(int channel, bool joinsPlaying);
    ChannelBranch::Setup branchSetup(int channel) const;
    void loopChannel(int channel);
    void dropBranch(int channel, const QString &why);
    void outputLost(const QString &why);
    void outputBack();
    void seekPipeline(qint64 positionMs);
    void notePosition();
    void giveUpSlowOpens();
    void letSlowStartsJoinLater();
    void recommitState();
    void readBus();
    void handleMessage(GstMessage *message);
    void applyVolume(int channel);
    void applyVolumes();
    void jump(int channel);
    void describeStream();

    EngineOptions m_options;
    std::array<std::unique_ptr<ChannelState>, ChannelCount> m_channels;
    std::array<std::unique_ptr<Channel>, ChannelCount> m_faces;
    LoopRounds m_loopRounds;
    GstElementRef m_pipeline;
    QString m_defaultName; // the default output's name at the last start
    GstState m_target = GST_STATE_NULL;
    bool m_outputHoldsSound = false; // paused from playing, nothing flushed since
    std::unique_ptr<QSocketNotifier> m_busNotifier;
    QTimer m_openTimer;
    QTimer m_startGraceTimer;
    bool m_updateScheduled = false;
    bool m_outputWarmed = false;
    bool m_outputDown = false;
    qint64 m_lastPositionMs = 0;
    int m_stalledNotes = 0; // notes in a row at the same place while playing
    QTimer m_positionNote;
    qint64 m_timelineAtZeroMs = 0; // the timeline's place at running time 0
    qint64 m_resumeAtMs = -1;  // where the channels go on once the output is back
    qint64 m_pendingSeekMs = -1; // sought once the rebuilt pipeline has prerolled
    SoundOutput m_sound;
    OutputRetry m_retry;
    OutputSet m_outputs;
    Preloader m_preloader;
    LoudnessMatch m_loudness;
    int m_solo = -1;
    FadedJumps m_jumps; // after the channels, which it reads
};
