#include "PlaybackEngine.h"
#include "PlaybackEngineState.h"

#include "ChannelBranch.h"
#include "GstSetup.h"
#include "Loudness.h"
#include "SoundOutput.h"
#include "SynthPool.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QSocketNotifier>

#include <gst/audio/streamvolume.h>

#include <algorithm>

Q_LOGGING_CATEGORY(lcPlayback, "tandra.playback")

namespace {

// How long channels starting together wait for each other. A file slower to
// give its first sound (or to fail) joins when it comes.
constexpr int StartGraceMs = 250;

// The sound server's stream runs from the moment Play sets it going, so
// samples timed for that very moment arrive late and their first
// milliseconds are dropped. The clock starts this much later to keep them.
// Not after a pause: the server plays at once what it still holds from
// before it, and a later clock would leave a gap after that.
constexpr int StartDelayMs = 25;

// How often the place is noted while playing, to go on from there should
// the output be lost.
constexpr int PositionNoteMs = 200;
constexpr int StallMs = 3000;

} // namespace

// What the window holds of a channel: the interface's two inputs.
class PlaybackEngine::Channel : public MediaChannel
{
public:
    Channel(PlaybackEngine &engine, int index) : m_engine(engine), m_index(index) {}

    void setFileName(const QString &fileName) override
    {
        ensureGstInitialized();
        m_engine.m_channels[m_index]->fileName = fileName;
        m_engine.m_loudness.measure(m_index, fileName);
        // What the file needs loads while the user reaches for Play.
        if (synthpool::isMidiFile(fileName))
            synthpool::prepare();
        m_engine.prepareFor(fileName);
    }
    void command(const QString &word) override
    {
        if (const auto parsed = parseCommandWord(word))
            m_engine.command(m_index, *parsed);
    }

private:
    PlaybackEngine &m_engine;
    int m_index;
};

PlaybackEngine::PlaybackEngine(EngineOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_sound(m_options.audioSink, m_options.audioSinkCreated)
    , m_retry([this] { return m_sound.answers(); })
    , m_outputs(m_sound, m_options.outputFormat)
    , m_jumps([this](int i) { return m_channels[i]->branch.get(); }, [this](int i) { jump(i); },
              [this](int i) { applyVolume(i); })
{
    connect(&m_retry, &OutputRetry::outputBack, this, &PlaybackEngine::outputBack);
    connect(&m_loudness, &LoudnessMatch::gainsChanged, this, &PlaybackEngine::applyVolumes);
    // GStreamer itself starts with the first use, not with the window.
    for (int i = 0; i < ChannelCount; ++i) {
        m_channels[i] = std::make_unique<ChannelState>();
        m_faces[i] = std::make_unique<Channel>(*this, i);
    }
    m_openTimer.setSingleShot(true);
    connect(&m_openTimer, &QTimer::timeout, this, &PlaybackEngine::giveUpSlowOpens);
    m_positionNote.setInterval(PositionNoteMs);
    connect(&m_positionNote, &QTimer::timeout, this, &PlaybackEngine::notePosition);
    m_startGraceTimer.setSingleShot(true);
    m_startGraceTimer.setInterval(StartGraceMs);
    connect(&m_startGraceTimer, &QTimer::timeout, this, &PlaybackEngine::letSlowStartsJoinLater);
}

PlaybackEngine::~PlaybackEngine()
{
    // The branches first: each gives its synthesiser back before the rest stops.
    m_loopRounds.clear();
    for (auto &state : m_channels)
        state->branch.reset();
    if (m_pipeline)
        gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    m_outputs.clear();
    m_pipeline.reset();
}

void PlaybackEngine::prepareFor(const QString &fileName)
{
    // The first file also connects the output once, so that the first Play
    // finds the sound server answering; it lets go at once, as an idle
    // player keeps no stream on the server.
    QPointer<PlaybackEngine> self(this);
    m_preloader.prepareFile(fileName, m_outputWarmed ? std::function<void()>() : [self] {
        QMetaObject::invokeMethod(self, [self] {
            if (!self || self->m_pipeline)
                return;
            self->chooseFormat();
            if (self->ensurePipeline() && self->unitFor(0) && self->m_target == GST_STATE_READY)
                self->setTarget(GST_STATE_NULL);
        }, Qt::QueuedConnection);
    });
    m_outputWarmed = true;
}

MediaChannel &PlaybackEngine::channel(int index)
{
    return *m_faces[index];
}

void PlaybackEngine::command(int index, CommandWord word)
{
    ChannelState &c = *m_channels[index];
    switch (word) {
    case CommandWord::Open: {
        const bool sameFile = c.branch && c.branch->fileName() == QFileInfo(c.fileName).absoluteFilePath();
        // The file that is open keeps its place; after its end, or for
        // another file, it is read anew from the start.
        c.reopen = !sameFile || c.branch->hasEnded();
        if (c.wanted == Wanted::Closed)
            c.wanted = Wanted::Paused;
        break;
    }
    case CommandWord::Play:
        if (c.wanted != Wanted::Closed)
            c.wanted = Wanted::Playing;
        break;
    case CommandWord::Pause:
        if (c.wanted != Wanted::Closed)
            c.wanted = Wanted::Paused;
        break;
    case CommandWord::Close:
        c.wanted = Wanted::Closed;
        c.reopen = false;
        break;
    }
    scheduleUpdate();
}

void PlaybackEngine::scheduleUpdate()
{
    if (m_updateScheduled)
        return;
    m_updateScheduled = true;
    QMetaObject::invokeMethod(this, &PlaybackEngine::update, Qt::QueuedConnection);
}

// Brings the pipeline to what the channels' words ask for.
void PlaybackEngine::update()
{
    m_updateScheduled = false;
    if (m_outputDown) {
        // The words are kept; they are carried out once the output is back.
        bool anyWanted = false;
        for (auto &c : m_channels)
            anyWanted |= c->wanted != Wanted::Closed;
        if (anyWanted) {
            m_retry.start();
        } else {
            m_retry.stop();
            m_resumeAtMs = -1; // Stop: the next Play starts the files again
        }
        return;
    }
    bool anyToOpen = false, anyKept = false, anyLiveKept = false;
    for (auto &c : m_channels) {
        const bool keep = c->branch && c->wanted != Wanted::Closed && !c->reopen;
        anyToOpen |= c->wanted != Wanted::Closed && (c->reopen || !c->branch);
        anyKept |= keep;
        anyLiveKept |= keep && !c->branch->hasEnded();
    }
    if (!anyLiveKept && (anyToOpen || !anyKept)) {
        // A fresh start (every file from its first sample at running time 0)
        // or nothing left: back to the start, which also lets the sound
        // server's stream go, and the files.
        resetPipeline();
        m_loopRounds.clear();
        m_timelineAtZeroMs = 0;
        bool anySkips = false;
        for (auto &c : m_channels) {
            c->branch.reset();
            c->reopen = c->wanted != Wanted::Closed;
            anySkips |= c->reopen && c->offsetMs < 0;
        }
        // A file whose start is skipped is sought there once it is ready.
        if (anySkips && m_pendingSeekMs < 0)
            m_pendingSeekMs = 0;
        if (anyToOpen) {
            chooseFormat();
            if (m_outputDown)
                return;
        }
    }
    for (int i = 0; i < ChannelCount; ++i) {
        ChannelState &c = *m_channels[i];
        if (c.branch && (c.wanted == Wanted::Closed || c.reopen))
            c.branch.reset();
    }
    if (anyToOpen && ensurePipeline()) {
        if (!anyLiveKept)
            m_startGraceTimer.start();
        for (int i = 0; i < ChannelCount && m_pipeline; ++i) {
            ChannelState &c = *m_channels[i];
            if (c.wanted != Wanted::Closed && !c.branch)
                openBranch(i, anyLiveKept);
        }
        if (!m_pipeline)
            return; // the output was lost on the way
        dropIdleUnits();
        if (!anyLiveKept) {
            m_outputs.chooseClock(m_pipeline.get());
            describeStream();
        }
    }

    GstState target = GST_STATE_READY;
    for (auto &c : m_channels) {
        if (c->branch && c->wanted == Wanted::Playing && m_pendingSeekMs < 0)
            target = GST_STATE_PLAYING;
        else if (c->branch && target == GST_STATE_READY)
            target = GST_STATE_PAUSED;
    }
    if (m_pipeline)
        setTarget(target);
}

void PlaybackEngine::openBranch(int index, bool joinsPlaying)
{
    ChannelState &c = *m_channels[index];
    c.reopen = false;
    c.unit = unitFor(index);
    if (!c.unit)
        return;
    ChannelBranch::Setup setup = branchSetup(index);
    setup.joinsPlaying = joinsPlaying;
    c.branch = ChannelBranch::create(c.fileName, setup);
    if (!c.branch) {
        c.wanted = Wanted::Closed;
        if (!c.fileName.isEmpty()) qCWarning(lcPlayback) << "channel" << index + 1 << "cannot open" << c.fileName;
        emit channelFailed(index, QStringLiteral("cannot open %1").arg(c.fileName));
        return;
    }
    m_openTimer.start(m_options.openTimeoutMs);
}

ChannelBranch::Setup PlaybackEngine::branchSetup(int index) const
{
    const ChannelState &c = *m_channels[index];
    ChannelBranch::Setup setup;
    // The volume is on the cubic scale of desktop sliders; matching the
    // other's loudness turns it down further, and the other's solo (or a
    // jump to a new offset) to 0.
    setup.volume = gst_stream_volume_convert_volume(GST_STREAM_VOLUME_FORMAT_CUBIC, GST_STREAM_VOLUME_FORMAT_LINEAR,
                                                    c.volume)
                   * dbToLinear(m_loudness.gainDb(index))
                   * (!m_jumps.isJumping(index) && (m_solo < 0 || m_solo == index) ? 1.0 : 0.0);
    setup.muted = c.muted;
    setup.looping = c.looping;
    setup.offset = c.offsetMs * GST_MSECOND;
    setup.pipeline = m_pipeline.get();
    setup.mixer = c.unit ? c.unit->mixer() : nullptr;
    setup.mixCaps = c.unit ? c.unit->mixCaps() : nullptr;
    setup.showVideo = m_options.showVideo;
    return setup;
}

bool PlaybackEngine::ensurePipeline()
{
    if (m_pipeline)
        return true;
    ensureGstInitialized();
    m_pipeline = adoptElement(gst_pipeline_new("tandra"));
    GstBusRef bus(gst_element_get_bus(m_pipeline.get()));
    GPollFD pollFd;
    gst_bus_get_pollfd(bus.get(), &pollFd);
    m_busNotifier = std::make_unique<QSocketNotifier>(pollFd.fd, QSocketNotifier::Read);
    connect(m_busNotifier.get(), &QSocketNotifier::activated, this, &PlaybackEngine::readBus);
    m_target = GST_STATE_NULL;
    setTarget(GST_STATE_READY);
    return true;
}

// The whole pipeline goes; the next start builds it anew.
void PlaybackEngine::dropPipeline()
{
    m_loopRounds.clear();
    for (auto &c : m_channels) {
        c->branch.reset();
        c->unit = nullptr;
    }
    if (m_pipeline)
        gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    m_outputs.clear();
    m_busNotifier.reset();
    m_pipeline.reset();
    m_target = GST_STATE_NULL;
    m_openTimer.stop();
    m_startGraceTimer.stop();
}

// Built anew and on from the same place, both channels on the same sample.
void PlaybackEngine::rebuildAt(qint64 positionMs)
{
    dropPipeline();
    m_pendingSeekMs = positionMs > 0 ? positionMs : -1;
    for (auto &c : m_channels)
        c->reopen = c->wanted != Wanted::Closed;
    scheduleUpdate();
}

// Back to the start with no stream open; the sound server stays connected.
void PlaybackEngine::resetPipeline()
{
    if (m_pipeline && m_target > GST_STATE_READY)
        setTarget(GST_STATE_READY);
    m_openTimer.stop();
    m_startGraceTimer.stop();
}

void PlaybackEngine::setTarget(GstState state)
{
    notePosition();
    if (state == m_target)
        return;
    if (state == GST_STATE_PLAYING)
        m_positionNote.start();
    else
        m_positionNote.stop();
    if (state <= GST_STATE_READY)
        m_lastPositionMs = 0;
    if (state == GST_STATE_PLAYING)
        gst_pipeline_set_delay(GST_PIPELINE(m_pipeline.get()), m_outputHoldsSound ? 0 : StartDelayMs * GST_MSECOND);
    m_outputHoldsSound = state == GST_STATE_PAUSED && m_target == GST_STATE_PLAYING;
    m_target = state;
    if (gst_element_set_state(m_pipeline.get(), state) == GST_STATE_CHANGE_FAILURE)
        qCInfo(lcPlayback) << "state change to" << gst_element_state_get_name(state) << "failed";
}

void PlaybackEngine::dropBranch(int index, const QString &why)
{
    ChannelState &c = *m_channels[index];
    qCWarning(lcPlayback).noquote() << "channel" << index + 1 << "stops:" << why;
    c.wanted = Wanted::Closed;
    c.reopen = false;
    c.branch.reset();
    recommitState();
    emit channelFailed(index, why);
    scheduleUpdate();
}

// The shared part failed (the sound server went away, or its device): each
// channel keeps its place and what it was asked to do, and goes on from
// there, both on the same sample, once an output answers again.
void PlaybackEngine::outputLost(const QString &why)
{
    if (!m_outputDown)
        qCWarning(lcPlayback).noquote() << "sound output lost, waiting for it:" << why;
    if (!m_outputDown && m_pipeline) {
        // A dead output's clock says 0: the place noted last is the one.
        m_resumeAtMs = m_pendingSeekMs >= 0 ? m_pendingSeekMs : m_lastPositionMs;
    }
    m_outputDown = true;
    m_pendingSeekMs = -1;
    dropPipeline();
    scheduleUpdate();
}

void PlaybackEngine::outputBack()
{
    qCWarning(lcPlayback) << "sound output is back";
    m_outputDown = false;
    rebuildAt(std::exchange(m_resumeAtMs, -1));
}

void PlaybackEngine::giveUpSlowOpens()
{
    for (int i = 0; i < ChannelCount; ++i) {
        const auto &branch = m_channels[i]->branch;
        if (branch && !branch->hasStarted())
            dropBranch(i, QStringLiteral("%1 gave no sound within %2 ms").arg(branch->fileName(), QString::number(m_options.openTimeoutMs)));
    }
}

void PlaybackEngine::letSlowStartsJoinLater()
{
    // A loop's next round is no slow start: its channel sounds on.
    const auto waiting = [](const ChannelState &c) { return c.branch && !c.branch->sounds(); };
    bool anyStarted = false, anyWaiting = false;
    for (auto &c : m_channels) {
        anyStarted |= c->branch && c->branch->sounds();
        anyWaiting |= waiting(*c);
    }
    if (!anyWaiting)
        return;
    // Nothing has come yet (the first start loads plugins): all still start together.
    if (!anyStarted) {
        m_startGraceTimer.start();
        return;
    }
    // Only a channel that shares its mix with one that sounds holds it back;
    // on an output of its own it holds back no mix, and all outputs start
    // on one instant.
    for (auto &c : m_channels) {
        const bool sharesMix = std::any_of(m_channels.begin(), m_channels.end(), [&](const auto &other) {
            return other != c && other->unit == c->unit && other->branch && other->branch->sounds();
        });
        if (waiting(*c) && sharesMix)
            c->branch->waitApart();
    }
    recommitState();
}

// A start that still waits for a branch that has left the mixer would wait
// for ever; asked again, the pipeline counts only those that remain.
void PlaybackEngine::recommitState()
{
    if (m_pipeline && m_target >= GST_STATE_PAUSED)
        gst_element_set_state(m_pipeline.get(), m_target);
}

void PlaybackEngine::readBus()
{
    if (!m_pipeline)
        return;
    GstBusRef bus(gst_element_get_bus(m_pipeline.get()));
    while (m_pipeline) {
        GstMessageRef message(gst_bus_pop(bus.get()));
        if (!message)
            break;
        handleMessage(message.get());
    }
}

void PlaybackEngine::handleMessage(GstMessage *message)
{
    GstObject *source = GST_MESSAGE_SRC(message);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        const QString text = errorText(message);
        for (int i = 0; i < ChannelCount; ++i) {
            if (m_channels[i]->branch && m_channels[i]->branch->contains(source)) {
                dropBranch(i, text);
                return;
            }
        }
        // From a branch already gone: nothing left to stop.
        if (source != GST_OBJECT(m_pipeline.get()) && !gst_object_has_as_ancestor(source, GST_OBJECT(m_pipeline.get())))
            return;
        outputLost(text);
        return;
    }
    case GST_MESSAGE_CLOCK_LOST:
        // The output whose clock all ran on went: the pipeline takes another's.
        if (m_target == GST_STATE_PLAYING) {
            gst_element_set_state(m_pipeline.get(), GST_STATE_PAUSED);
            gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);
        }
        return;
    case GST_MESSAGE_ASYNC_DONE:
        // Rebuilt after the output came back: prerolled, now to the place
        // the channels were at, then on as they were asked.
        if (source == GST_OBJECT(m_pipeline.get()) && m_pendingSeekMs >= 0) {
            seekPipeline(m_pendingSeekMs);
            m_pendingSeekMs = -1;
            scheduleUpdate();
        }
        return;
    case GST_MESSAGE_APPLICATION:
        // Each branch tells its own end; the pipeline's end, which may come
        // after a restart has begun, says nothing more.
        for (auto &c : m_channels)
            if (c->branch && c->branch->isMessageOfEnd(message))
                c->branch->setEnded(true);
        for (int i = 0; i < ChannelCount; ++i)
            if (m_channels[i]->branch && m_channels[i]->branch->isMessageOfLoop(message))
                loopChannel(i);
        return;
    default:
        return;
    }
}

void PlaybackEngine::applyVolume(int index)
{
    ChannelState &c = *m_channels[index];
    if (c.branch) {
        const ChannelBranch::Setup setup = branchSetup(index);
        c.branch->setVolume(setup.volume, setup.muted);
    }
}

void PlaybackEngine::setVolume(int index, double level)
{
    m_channels[index]->volume = std::clamp(level, 0.0, 1.0);
    applyVolume(index);
}

double PlaybackEngine::volume(int index) const { return m_channels[index]->volume; }

void PlaybackEngine::setMuted(int index, bool muted)
{
    m_channels[index]->muted = muted;
    applyVolume(index);
}

bool PlaybackEngine::isMuted(int index) const { return m_channels[index]->muted; }

bool PlaybackEngine::isOpen(int index) const { return m_channels[index]->branch != nullptr; }

bool PlaybackEngine::isPlaying(int index) const
{
    const ChannelState &c = *m_channels[index];
    return c.branch && c.wanted == Wanted::Playing && c.branch->sounds() && !c.branch->hasEnded();
}

bool PlaybackEngine::hasStarted(int index) const
{
    const ChannelState &c = *m_channels[index];
    return c.branch && c.branch->hasStarted();
}

void PlaybackEngine::setLooping(int index, bool looping)
{
    ChannelState &c = *m_channels[index];
    c.looping = looping;
    if (c.branch)
        c.branch->setLooping(looping);
}

bool PlaybackEngine::isLooping(int index) const { return m_channels[index]->looping; }

qint64 PlaybackEngine::channelDurationMs(int index) const
{
    const ChannelState &c = *m_channels[index];
    return c.branch ? c.branch->durationMs() : -1;
}

void PlaybackEngine::loopChannel(int index)
{
    ChannelState &c = *m_channels[index];
    if (!m_loopRounds.advance(c.branch, c.fileName, branchSetup(index)))
        return; // the file went away: the channel ends here
    m_openTimer.start(m_options.openTimeoutMs);
}

void PlaybackEngine::setSolo(int channel)
{
    m_solo = channel >= 0 && channel < ChannelCount ? channel : -1;
    applyVolumes();
}

void PlaybackEngine::notePosition()
{
    if (m_outputDown || !m_pipeline || m_target < GST_STATE_PAUSED)
        return;
    const qint64 position = positionMs();
    // An output that stops taking sound without a word (a device gone in
    // sleep, a stream the server left behind) is treated as lost.
    bool sounding = false;
    for (int i = 0; i < ChannelCount; ++i)
        sounding |= isPlaying(i);
    m_stalledNotes = sounding && m_target == GST_STATE_PLAYING && position == m_lastPositionMs ? m_stalledNotes + 1 : 0;
    if (m_stalledNotes * PositionNoteMs >= StallMs) {
        m_stalledNotes = 0;
        outputLost(QStringLiteral("the sound output took no sound for %1 s").arg(StallMs / 1000));
        return;
    }
    if (position > 0)
        m_lastPositionMs = position;
    checkOutputsThere();
}
