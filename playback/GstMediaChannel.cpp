#include "GstMediaChannel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gst/gst.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

constexpr int BusPollMs = 100;
constexpr qint64 StateSliceMs = 50;
// fluidsynth's own gain (0.2) leaves MIDI far quieter than recorded sound.
constexpr double MidiGain = 1.0;
const char *const GeneralMidiSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
constexpr const char *CdSectorSync = "\x00\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\x00";
constexpr int CdSectorSyncSize = 12;

void ensureGstInitialized()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

bool displayExists()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The video window's sink, chosen once for the process. Left to
// autovideosink, every open would try sinks that can't work here (XVideo
// on a server without it, OpenGL without a driver), which on such displays
// costs seconds of the bounded open and delays the sound.
const char *windowVideoSinkName()
{
    static const char *chosen = [] {
        static const char *const x11Sinks[] = {"xvimagesink", "ximagesink"};
        static const char *const waylandSinks[] = {"waylandsink", "glimagesink"};
        const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
        for (const char *name : x11 ? x11Sinks : waylandSinks) {
            GstElement *sink = gst_element_factory_make(name, nullptr);
            if (!sink)
                continue;
            const bool works = gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
            gst_element_set_state(sink, GST_STATE_NULL);
            gst_object_unref(sink);
            if (works)
                return name;
        }
        return "autovideosink";
    }();
    return chosen;
}

quint32 readLe32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

// Runs on a streaming thread: only touches the new element's properties.
void onElementSetup(GstElement *, GstElement *element, gpointer)
{
    GstElementFactory *factory = gst_element_get_factory(element);
    if (!factory || g_strcmp0(GST_OBJECT_NAME(factory), "fluiddec") != 0)
        return;
    g_object_set(element, "synth-gain", MidiGain, nullptr);
    if (QFileInfo::exists(QString::fromLatin1(GeneralMidiSoundFont)))
        g_object_set(element, "soundfont", GeneralMidiSoundFont, nullptr);
}

} // namespace

// Feeds playbin's appsrc with the MPEG stream inside a file of raw CD
// sectors, leaving out each sector's header and error codes. Called on
// streaming threads.
struct GstMediaChannel::SectorReader
{
    std::mutex mutex;
    std::FILE *file = nullptr;
    qint64 dataOffset = 0;
    quint64 size = 0;
    quint64 position = 0;

    ~SectorReader()
    {
        if (file)
            std::fclose(file);
    }

    static void needData(GstElement *source, guint length, gpointer data)
    {
        auto *self = static_cast<SectorReader *>(data);
        // A demuxer pulling ranges wants exactly what it asks for; pushing,
        // the length is only a hint.
        constexpr quint64 ChunkSize = 16 * SectorPayloadSize;
        constexpr quint64 MaxRange = 4 << 20;
        const quint64 asked = (length > 0 && length <= MaxRange) ? length : ChunkSize;
        std::unique_lock lock(self->mutex);
        const quint64 wanted = std::min(asked, self->size - std::min(self->size, self->position));
        GstBuffer *buffer = wanted ? gst_buffer_new_allocate(nullptr, wanted, nullptr) : nullptr;
        quint64 got = 0;
        if (buffer) {
            GstMapInfo map;
            if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
                while (got < wanted) {
                    const quint64 at = self->position + got;
                    const quint64 within = at % SectorPayloadSize;
                    const quint64 n = std::min<quint64>(SectorPayloadSize - within, wanted - got);
                    const qint64 fileAt = self->dataOffset + qint64(at / SectorPayloadSize) * RawSectorSize
                                          + SectorPayloadOffset + qint64(within);
                    if (fseeko(self->file, fileAt, SEEK_SET) != 0)
                        break;
                    const size_t read = std::fread(map.data + got, 1, n, self->file);
                    got += read;
                    if (read < n)
                        break;
                }
                gst_buffer_unmap(buffer, &map);
            }
        }
        if (got == 0) {
            if (buffer)
                gst_buffer_unref(buffer);
            lock.unlock();
            GstFlowReturn ret;
            g_signal_emit_by_name(source, "end-of-stream", &ret);
            return;
        }
        gst_buffer_set_size(buffer, gsize(got));
        GST_BUFFER_OFFSET(buffer) = self->position;
        self->position += got;
        lock.unlock();
        GstFlowReturn ret;
        g_signal_emit_by_name(source, "push-buffer", buffer, &ret);
        gst_buffer_unref(buffer);
    }

    static gboolean seekData(GstElement *, guint64 offset, gpointer data)
    {
        auto *self = static_cast<SectorReader *>(data);
        std::lock_guard lock(self->mutex);
        if (offset > self->size)
            return FALSE;
        self->position = offset;
        return TRUE;
    }

    static void sourceSetup(GstElement *, GstElement *source, gpointer data)
    {
        if (g_strcmp0(G_OBJECT_TYPE_NAME(source), "GstAppSrc") != 0)
            return;
        auto *self = static_cast<SectorReader *>(data);
        gst_util_set_object_arg(G_OBJECT(source), "stream-type", "random-access");
        g_object_set(source, "format", GST_FORMAT_BYTES, "size", gint64(self->size), nullptr);
        g_signal_connect(source, "need-data", G_CALLBACK(needData), self);
        g_signal_connect(source, "seek-data", G_CALLBACK(seekData), self);
    }
};

GstMediaChannel::GstMediaChannel(GstChannelOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    ensureGstInitialized();
    m_busTimer.setInterval(BusPollMs);
    connect(&m_busTimer, &QTimer::timeout, this, &GstMediaChannel::drainBus);
}

GstMediaChannel::~GstMediaChannel()
{
    close();
}

void GstMediaChannel::setFileName(const QString &fileName)
{
    m_fileName = fileName;
}

void GstMediaChannel::command(const QString &word)
{
    drainBus();
    if (word == QLatin1String("open"))
        open();
    else if (word == QLatin1String("play"))
        play();
    else if (word == QLatin1String("pause"))
        pause();
    else if (word == QLatin1String("close"))
        close();
    drainBus();
}

GstMediaChannel::SectorLayout GstMediaChannel::findSectorLayout(const QString &fileName)
{
    SectorLayout layout;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return layout;
    const qint64 fileSize = file.size();
    const QByteArray head = file.read(12);
    if (head.size() < 12)
        return layout;

    if (head.startsWith("RIFF") && head.mid(8, 4) == "CDXA") {
        qint64 at = 12;
        for (int chunks = 0; chunks < 64 && at + 8 <= fileSize; ++chunks) {
            if (!file.seek(at))
                return layout;
            const QByteArray chunk = file.read(8);
            if (chunk.size() < 8)
                return layout;
            const qint64 size = readLe32(chunk.constData() + 4);
            if (chunk.startsWith("data")) {
                layout.dataOffset = at + 8;
                layout.sectorCount = std::min(size, fileSize - layout.dataOffset) / RawSectorSize;
                layout.found = layout.sectorCount > 0;
                return layout;
            }
            at += 8 + size + (size & 1);
        }
        return layout;
    }

    if (head == QByteArray::fromRawData(CdSectorSync, CdSectorSyncSize) && fileSize % RawSectorSize == 0) {
        layout.sectorCount = fileSize / RawSectorSize;
        layout.found = true;
    }
    return layout;
}

void GstMediaChannel::open()
{
    if (m_pipeline) {
        // Opening the file that is open keeps its place; after its end the
        // next play starts it again.
        if (m_openFileName == m_fileName) {
            if (m_ended)
                rewind();
            return;
        }
        close();
    }
    if (m_fileName.isEmpty())
        return;
    // Only regular files: a FIFO or device would block the window in open().
    const QFileInfo info(m_fileName);
    if (!info.isFile() || !info.isReadable() || info.size() == 0)
        return;
    const QByteArray localPath = QFile::encodeName(info.absoluteFilePath());

    GstElement *playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin)
        return;
    gst_object_ref_sink(playbin);

    const SectorLayout layout = findSectorLayout(info.absoluteFilePath());
    if (layout.found) {
        auto reader = std::make_unique<SectorReader>();
        reader->file = std::fopen(localPath.constData(), "rb");
        if (!reader->file) {
            gst_object_unref(playbin);
            return;
        }
        reader->dataOffset = layout.dataOffset;
        reader->size = quint64(layout.sectorCount) * SectorPayloadSize;
        m_sectors = std::move(reader);
        g_object_set(playbin, "uri", "appsrc://", nullptr);
        g_signal_connect(playbin, "source-setup", G_CALLBACK(SectorReader::sourceSetup), m_sectors.get());
    } else {
        gchar *uri = gst_filename_to_uri(localPath.constData(), nullptr);
        if (!uri) {
            gst_object_unref(playbin);
            return;
        }
        g_object_set(playbin, "uri", uri, nullptr);
        g_free(uri);
    }

    g_signal_connect(playbin, "element-setup", G_CALLBACK(onElementSetup), nullptr);

    if (!m_options.audioSink.isEmpty()) {
        GError *error = nullptr;
        GstElement *sink = gst_parse_bin_from_description(m_options.audioSink.toUtf8().constData(), TRUE, &error);
        if (error || !sink) {
            g_clear_error(&error);
            if (sink)
                gst_object_unref(gst_object_ref_sink(sink));
            gst_object_unref(playbin);
            m_sectors.reset();
            return;
        }
        if (m_options.audioSinkCreated)
            m_options.audioSinkCreated(sink);
        g_object_set(playbin, "audio-sink", sink, nullptr);
    }
    if (!m_options.showVideo || !displayExists()) {
        GstElement *videoSink = gst_element_factory_make("fakesink", nullptr);
        if (videoSink) {
            g_object_set(videoSink, "sync", FALSE, nullptr);
            g_object_set(playbin, "video-sink", videoSink, nullptr);
        }
    } else if (GstElement *videoSink = gst_element_factory_make(windowVideoSinkName(), nullptr)) {
        g_object_set(playbin, "video-sink", videoSink, nullptr);
    }

    m_pipeline = playbin;
    m_openFileName = m_fileName;
    m_playing = false;
    m_ended = false;
    m_failed = false;

    if (gst_element_set_state(m_pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE
        || !waitForState(m_options.openTimeoutMs)) {
        close();
        return;
    }
    drainBus();
    if (m_pipeline)
        m_busTimer.start();
}

void GstMediaChannel::play()
{
    if (!m_pipeline)
        return;
    if (m_ended && !rewind())
        return;
    if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        close();
        return;
    }
    m_playing = true;
}

void GstMediaChannel::pause()
{
    if (!m_pipeline || m_ended)
        return;
    if (gst_element_set_state(m_pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE
        || !waitForState(m_options.openTimeoutMs)) {
        close();
        return;
    }
    m_playing = false;
}

void GstMediaChannel::close()
{
    m_busTimer.stop();
    if (m_pipeline) {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
        m_pipeline = nullptr;
    }
    // Only now: the pipeline's threads may read from it until NULL.
    m_sectors.reset();
    m_openFileName.clear();
    m_playing = false;
    m_ended = false;
    m_failed = false;
}

// Back to the start after the end of the file, paused. Not by seeking:
// program streams land a little after their start when sought to 0, while
// reading the file anew starts every type at its first sample.
bool GstMediaChannel::rewind()
{
    bool ok = gst_element_set_state(m_pipeline, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    if (ok && m_sectors) {
        std::lock_guard lock(m_sectors->mutex);
        m_sectors->position = 0;
    }
    ok = ok && gst_element_set_state(m_pipeline, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE
         && waitForState(m_options.openTimeoutMs);
    if (!ok) {
        close();
        return false;
    }
    m_ended = false;
    m_playing = false;
    return true;
}

// An error does not end a state change that waits for data (a demuxer that
// finds no stream just stops), so the bus is read while waiting: a broken
// file fails at once instead of after the whole bound.
bool GstMediaChannel::waitForState(int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    GstBus *bus = gst_element_get_bus(m_pipeline);
    bool reached = false;
    for (;;) {
        const GstStateChangeReturn ret = gst_element_get_state(m_pipeline, nullptr, nullptr, 0);
        if (ret != GST_STATE_CHANGE_ASYNC) {
            reached = ret == GST_STATE_CHANGE_SUCCESS || ret == GST_STATE_CHANGE_NO_PREROLL;
            break;
        }
        const qint64 left = timeoutMs - timer.elapsed();
        if (m_failed || left <= 0)
            break;
        // The pipeline posts its own state change once it is done; the
        // slice only guards against a wake-up that never comes.
        if (GstMessage *message = gst_bus_timed_pop(bus, GstClockTime(std::min<qint64>(left, StateSliceMs)) * GST_MSECOND)) {
            handleMessage(message);
            gst_message_unref(message);
        }
    }
    gst_object_unref(bus);
    return reached;
}

void GstMediaChannel::drainBus()
{
    if (!m_pipeline)
        return;
    GstBus *bus = gst_element_get_bus(m_pipeline);
    while (GstMessage *message = gst_bus_pop(bus)) {
        handleMessage(message);
        gst_message_unref(message);
    }
    gst_object_unref(bus);
    // An error (a broken file, the video window closed by the user, the
    // sound output gone) ends this channel quietly; the other plays on.
    if (m_failed)
        close();
}

void GstMediaChannel::handleMessage(GstMessage *message)
{
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR:
        m_failed = true;
        break;
    case GST_MESSAGE_EOS:
        m_ended = true;
        break;
    default:
        break;
    }
}
