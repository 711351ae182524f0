#include "PlaybackEngine.h"

#include "ChannelBranch.h"
#include "SectorReader.h"
#include "SynthPool.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMimeDatabase>
#include <QSocketNotifier>

#include <gst/audio/streamvolume.h>
#include <gst/base/gsttypefindhelper.h>

#include <algorithm>
#include <mutex>

Q_LOGGING_CATEGORY(lcPlayback, "tandra.playback")

namespace {

// How long channels starting together wait for each other. A file slower to
// give its first sound (or to fail) joins when it comes.
constexpr int StartGraceMs = 250;

// The sound server's stream runs from the moment Play sets it going, so
// samples timed for that very moment arrive late and their first
// milliseconds are dropped. The clock starts this much later to keep them.
constexpr int StartDelayMs = 25;

// The one format the branches bring their sound to; the mixer only adds.
const char *const MixFormat = "audio/x-raw,format=F32LE,layout=interleaved,rate=48000,channels=2";

void ensureGstInitialized()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        // The sound server shows the program's stream under this name.
        const QString name = QCoreApplication::applicationName();
        if (!name.isEmpty())
            g_set_application_name(qUtf8Printable(name));
    });
}

bool holdsVideo(const QString &fileName)
{
    if (fileName.isEmpty())
        return false;
    if (SectorReader::findLayout(fileName).found)
        return true;
    return QMimeDatabase().mimeTypeForFile(fileName).name().startsWith(QLatin1String("video/"));
}

// Every plugin a first Play may need: each loads once per process, which
// costs the first Play a few hundred milliseconds when left to it.
void loadPlugins()
{
    static const char *const factories[] = {
        "uridecodebin", "decodebin",  "typefind",       "filesrc",        "appsrc",       "queue",
        "multiqueue",   "wavparse",   "mpegaudioparse", "mpg123audiodec", "asfdemux",     "avdec_wmav2",
        "avidemux",     "mpegpsdemux", "mpegvideoparse", "mpeg2dec",      "avdec_mpeg2video", "midiparse",
        "audioconvert", "audioresample", "capsfilter",   "audiomixer",    "pulsesink",    "videoconvert",
        "videoscale",   "xvimagesink", "ximagesink",     "fakesink",
    };
    for (const char *name : factories)
        if (GstElement *element = gst_element_factory_make(name, nullptr))
            gst_object_unref(gst_object_ref_sink(element));
    // The type finders sit in plugins of their own.
    const guint8 probe[4096] = {};
    GstCaps *caps = gst_type_find_helper_for_data(nullptr, probe, sizeof probe, nullptr);
    if (caps)
        gst_caps_unref(caps);
}

QString errorText(GstMessage *message)
{
    GError *error = nullptr;
    gchar *debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    const QString text = QStringLiteral("%1 (%2)").arg(QString::fromUtf8(error ? error->message : "unknown error"),
                                                      QString::fromUtf8(debug ? debug : ""));
    g_clear_error(&error);
    g_free(debug);
    return text;
}

} // namespace

struct PlaybackEngine::ChannelState
{
    QString fileName;
    Wanted wanted = Wanted::Closed;
    bool reopen = false; // "open" wants the file read anew from its start
    std::unique_ptr<ChannelBranch> branch;
    double volume = 1;
    bool muted = false;
    bool looping = false;
};

// What the window holds of a channel: the interface's two inputs.
class PlaybackEngine::Channel : public MediaChannel
{
public:
    Channel(PlaybackEngine &engine, int index) : m_engine(engine), m_index(index) {}

    void setFileName(const QString &fileName) override
    {
        ensureGstInitialized();
        m_engine.m_channels[m_index]->fileName = fileName;
        // The synthesiser loads while the user reaches for Play.
        if (synthpool::isMidiFile(fileName))
            synthpool::prepare();
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
{
    // GStreamer itself starts with the first use, not with the window.
    for (int i = 0; i < ChannelCount; ++i) {
        m_channels[i] = std::make_unique<ChannelState>();
        m_faces[i] = std::make_unique<Channel>(*this, i);
    }
    m_openTimer.setSingleShot(true);
    connect(&m_openTimer, &QTimer::timeout, this, &PlaybackEngine::giveUpSlowOpens);
    m_startGraceTimer.setSingleShot(true);
    m_startGraceTimer.setInterval(StartGraceMs);
    connect(&m_startGraceTimer, &QTimer::timeout, this, &PlaybackEngine::letSlowStartsJoinLater);
}

PlaybackEngine::~PlaybackEngine()
{
    if (m_warmUp.valid())
        m_warmUp.wait();
    // The branches first: each gives its synthesiser back before the rest stops.
    for (auto &state : m_channels)
        state->branch.reset();
    if (m_pipeline)
        gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    m_pipeline.reset();
    if (m_mixCaps)
        gst_caps_unref(m_mixCaps);
}

void PlaybackEngine::warmUp()
{
    if (m_warmUp.valid())
        return;
    m_warmUp = std::async(std::launch::async, [this] {
        ensureGstInitialized();
        loadPlugins();
        // The pipeline is the window thread's own. Connected once to warm up,
        // it lets go at once: an idle player keeps no stream on the server.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (ensurePipeline() && m_target == GST_STATE_READY)
                    setTarget(GST_STATE_NULL);
            },
            Qt::QueuedConnection);
    });
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
        for (auto &c : m_channels) {
            c->branch.reset();
            c->reopen = c->wanted != Wanted::Closed;
        }
    }
    for (int i = 0; i < ChannelCount; ++i) {
        ChannelState &c = *m_channels[i];
        if (c.branch && (c.wanted == Wanted::Closed || c.reopen))
            c.branch.reset();
    }
    if (anyToOpen && ensurePipeline()) {
        if (!anyLiveKept) {
            describeStream();
            m_startGraceTimer.start();
        }
        for (int i = 0; i < ChannelCount; ++i) {
            ChannelState &c = *m_channels[i];
            if (c.wanted != Wanted::Closed && !c.branch)
                openBranch(i, anyLiveKept);
        }
    }

    GstState target = GST_STATE_READY;
    for (auto &c : m_channels) {
        if (c->branch && c->wanted == Wanted::Playing)
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
    ChannelBranch::Setup setup;
    setup.pipeline = m_pipeline.get();
    setup.mixer = m_mixer;
    setup.mixCaps = m_mixCaps;
    setup.showVideo = m_options.showVideo;
    setup.joinsPlaying = joinsPlaying;
    c.branch = ChannelBranch::create(c.fileName, setup);
    if (!c.branch) {
        c.wanted = Wanted::Closed;
        if (!c.fileName.isEmpty()) qCWarning(lcPlayback) << "channel" << index + 1 << "cannot open" << c.fileName;
        emit channelFailed(index, QStringLiteral("cannot open %1").arg(c.fileName));
        return;
    }
    applyVolume(index);
    m_openTimer.start(m_options.openTimeoutMs);
}

bool PlaybackEngine::ensurePipeline()
{
    if (m_pipeline)
        return true;
    ensureGstInitialized();
    if (!m_mixCaps)
        m_mixCaps = gst_caps_from_string(MixFormat);
    GstElementRef pipeline = adoptElement(gst_pipeline_new("tandra"));
    gst_pipeline_set_delay(GST_PIPELINE(pipeline.get()), StartDelayMs * GST_MSECOND);
    GstElement *mixer = gst_element_factory_make("audiomixer", nullptr);
    GstElement *format = gst_element_factory_make("capsfilter", nullptr);
    GstElement *output = nullptr;
    if (!m_options.audioSink.isEmpty()) {
        GError *error = nullptr;
        output = gst_parse_bin_from_description(m_options.audioSink.toUtf8().constData(), TRUE, &error);
        if (error) {
            qCWarning(lcPlayback) << "sound output not built:" << error->message;
            g_clear_error(&error);
        }
        if (output && m_options.audioSinkCreated)
            m_options.audioSinkCreated(output);
    } else {
        output = gst_element_factory_make("pulsesink", nullptr);
        // Without a sound server answering, whatever the desktop offers.
        if (output && gst_element_set_state(output, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
            gst_element_set_state(output, GST_STATE_NULL);
            gst_object_unref(gst_object_ref_sink(output));
            output = nullptr;
        }
        if (!output)
            output = gst_element_factory_make("autoaudiosink", nullptr);
    }
    if (!pipeline || !mixer || !format || !output) {
        for (GstElement *e : {mixer, format, output})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        qCWarning(lcPlayback) << "the sound pipeline could not be built";
        return false;
    }
    g_object_set(format, "caps", m_mixCaps, nullptr);
    gst_bin_add_many(GST_BIN(pipeline.get()), mixer, format, output, nullptr);
    if (!gst_element_link_many(mixer, format, output, nullptr)) {
        qCWarning(lcPlayback) << "the sound output does not take the mixed sound";
        return false;
    }

    GstBusRef bus(gst_element_get_bus(pipeline.get()));
    GPollFD pollFd;
    gst_bus_get_pollfd(bus.get(), &pollFd);
    m_busNotifier = std::make_unique<QSocketNotifier>(pollFd.fd, QSocketNotifier::Read);
    connect(m_busNotifier.get(), &QSocketNotifier::activated, this, &PlaybackEngine::readBus);

    m_pipeline = std::move(pipeline);
    m_mixer = mixer;
    m_output = output;
    m_target = GST_STATE_NULL;
    setTarget(GST_STATE_READY);
    return true;
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
    if (state == m_target)
        return;
    m_target = state;
    if (gst_element_set_state(m_pipeline.get(), state) == GST_STATE_CHANGE_FAILURE)
        qCInfo(lcPlayback) << "state change to" << gst_element_state_get_name(state) << "failed";
}

// The sound server's stream says who plays and what.
void PlaybackEngine::describeStream()
{
    if (!m_output || !g_object_class_find_property(G_OBJECT_GET_CLASS(m_output), "stream-properties"))
        return;
    bool video = false;
    for (auto &c : m_channels)
        video |= c->wanted != Wanted::Closed && holdsVideo(c->fileName);
    GstStructure *properties = gst_structure_new("props", "media.role", G_TYPE_STRING, video ? "video" : "music",
                                                 "application.icon_name", G_TYPE_STRING, "tandra", nullptr);
    g_object_set(m_output, "stream-properties", properties, nullptr);
    gst_structure_free(properties);
}

void PlaybackEngine::dropBranch(int index, const QString &why)
{
    ChannelState &c = *m_channels[index];
    qCInfo(lcPlayback).noquote() << "channel" << index + 1 << "stops:" << why;
    c.wanted = Wanted::Closed;
    c.reopen = false;
    c.branch.reset();
    recommitState();
    emit channelFailed(index, why);
    scheduleUpdate();
}

// The shared part failed (the sound output went away): every channel ends,
// and the next start builds the pipeline anew.
void PlaybackEngine::closeAll(const QString &why)
{
    qCWarning(lcPlayback).noquote() << "playback stops:" << why;
    for (int i = 0; i < ChannelCount; ++i) {
        m_channels[i]->wanted = Wanted::Closed;
        m_channels[i]->branch.reset();
        emit channelFailed(i, why);
    }
    gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    m_busNotifier.reset();
    m_pipeline.reset();
    m_mixer = m_output = nullptr;
    m_target = GST_STATE_NULL;
    m_openTimer.stop();
}

void PlaybackEngine::giveUpSlowOpens()
{
    for (int i = 0; i < ChannelCount; ++i) {
        const auto &branch = m_channels[i]->branch;
        if (branch && !branch->hasStarted())
            dropBranch(i, QStringLiteral("%1 gave no sound within %2 ms").arg(branch->fileName()).arg(m_options.openTimeoutMs));
    }
}

void PlaybackEngine::letSlowStartsJoinLater()
{
    bool anyStarted = false, anyWaiting = false;
    for (auto &c : m_channels) {
        anyStarted |= c->branch && c->branch->hasStarted();
        anyWaiting |= c->branch && !c->branch->hasStarted();
    }
    if (!anyWaiting)
        return;
    // Nothing has come yet (the first start loads plugins): all still start together.
    if (!anyStarted) {
        m_startGraceTimer.start();
        return;
    }
    for (auto &c : m_channels)
        if (c->branch)
            c->branch->waitApart();
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
        closeAll(text);
        return;
    }
    case GST_MESSAGE_APPLICATION:
        // Each branch tells its own end; the pipeline's end, which may come
        // after a restart has begun, says nothing more.
        for (auto &c : m_channels)
            if (c->branch && c->branch->isMessageOfEnd(message))
                c->branch->setEnded(true);
        return;
    default:
        return;
    }
}

void PlaybackEngine::applyVolume(int index)
{
    ChannelState &c = *m_channels[index];
    if (c.branch)
        c.branch->setVolume(gst_stream_volume_convert_volume(GST_STREAM_VOLUME_FORMAT_CUBIC,
                                                             GST_STREAM_VOLUME_FORMAT_LINEAR, c.volume),
                            c.muted);
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

void PlaybackEngine::seekTo(qint64 positionMs)
{
    if (!m_pipeline || m_target < GST_STATE_PAUSED)
        return;
    // One seek of the whole pipeline moves both channels together; the
    // mixer passes it to each branch.
    const gint64 position = std::max<qint64>(0, positionMs) * GST_MSECOND;
    if (gst_element_seek_simple(m_pipeline.get(), GST_FORMAT_TIME,
                                GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), position)) {
        for (auto &c : m_channels)
            if (c->branch)
                c->branch->setEnded(false);
    }
}

void PlaybackEngine::seekBy(qint64 offsetMs)
{
    const qint64 position = positionMs();
    if (position >= 0)
        seekTo(position + offsetMs);
}

qint64 PlaybackEngine::positionMs() const
{
    gint64 position = -1;
    if (!m_pipeline || m_target < GST_STATE_PAUSED
        || !gst_element_query_position(m_pipeline.get(), GST_FORMAT_TIME, &position))
        return -1;
    return position / GST_MSECOND;
}

qint64 PlaybackEngine::durationMs() const
{
    gint64 duration = -1;
    if (!m_pipeline || m_target < GST_STATE_PAUSED
        || !gst_element_query_duration(m_pipeline.get(), GST_FORMAT_TIME, &duration))
        return -1;
    return duration / GST_MSECOND;
}

bool PlaybackEngine::isOpen(int index) const { return m_channels[index]->branch != nullptr; }

bool PlaybackEngine::isPlaying(int index) const
{
    const ChannelState &c = *m_channels[index];
    return c.branch && c.wanted == Wanted::Playing && c.branch->hasStarted() && !c.branch->hasEnded();
}

bool PlaybackEngine::hasStarted(int index) const
{
    const ChannelState &c = *m_channels[index];
    return c.branch && c.branch->hasStarted();
}

void PlaybackEngine::setLooping(int index, bool looping) { m_channels[index]->looping = looping; }

bool PlaybackEngine::isLooping(int index) const { return m_channels[index]->looping; }

qint64 PlaybackEngine::channelDurationMs(int index) const
{
    const ChannelState &c = *m_channels[index];
    gint64 duration = -1;
    if (!c.branch || !gst_element_query_duration(c.branch->element(), GST_FORMAT_TIME, &duration) || duration < 0)
        return -1;
    return duration / GST_MSECOND;
}

qint64 PlaybackEngine::channelPositionMs(int index) const
{
    const qint64 duration = channelDurationMs(index);
    const qint64 position = positionMs();
    if (position < 0)
        return -1;
    return duration >= 0 ? std::min(position, duration) : position;
}
