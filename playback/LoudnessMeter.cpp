#include "LoudnessMeter.h"

#include "GstHandles.h"
#include "GstSetup.h"
#include "Loudness.h"
#include "SectorReader.h"
#include "SynthPool.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <gst/audio/audio.h>

#include <optional>

Q_DECLARE_LOGGING_CATEGORY(lcPlayback)

namespace {

// How soon a dropped measure notices and stops decoding.
constexpr GstClockTime CancelCheckInterval = 20 * GST_MSECOND;

// Decoded sound only: any picture in the file is left undecoded. The queue
// lets decoding and measuring share the two cores.
constexpr const char *Pipeline = "uridecodebin name=decoder caps=audio/x-raw expose-all-streams=false"
                                 " ! audioconvert ! audio/x-raw,format=F32LE,layout=interleaved"
                                 " ! queue ! fakesink name=sink sync=false";

// Runs on the streaming thread; read once the pipeline has stopped.
struct Feed
{
    std::optional<LoudnessMeasure> measure;
    bool failed = false;

    static GstPadProbeReturn onData(GstPad *, GstPadProbeInfo *info, gpointer data)
    {
        auto *feed = static_cast<Feed *>(data);
        if (info->type & GST_PAD_PROBE_TYPE_BUFFER)
            feed->add(GST_PAD_PROBE_INFO_BUFFER(info));
        else if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_CAPS)
            feed->setFormat(GST_PAD_PROBE_INFO_EVENT(info));
        return GST_PAD_PROBE_OK;
    }

    void setFormat(GstEvent *event)
    {
        GstCaps *caps = nullptr;
        gst_event_parse_caps(event, &caps);
        GstAudioInfo format;
        if (!gst_audio_info_from_caps(&format, caps)) {
            failed = true;
            return;
        }
        const int channels = GST_AUDIO_INFO_CHANNELS(&format), rate = GST_AUDIO_INFO_RATE(&format);
        if (!measure)
            measure.emplace(channels, rate);
        else if (measure->channels() != channels || measure->rate() != rate)
            failed = true; // one figure for the whole file can't be had
    }

    void add(GstBuffer *buffer)
    {
        if (failed || !measure)
            return;
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            failed = true;
            return;
        }
        const std::size_t frames = map.size / (sizeof(float) * std::size_t(measure->channels()));
        failed = !measure->add(reinterpret_cast<const float *>(map.data), frames);
        gst_buffer_unmap(buffer, &map);
    }
};

std::optional<double> decodeLoudness(const QString &fileName, const std::atomic<bool> &cancelled)
{
    // Only regular files: a FIFO would hold the decoder waiting for a writer.
    // MIDI: a synthesiser of its own would sound at another gain than the
    // one played, and must not load the soundfont beside the player's.
    if (!QFileInfo(fileName).isFile() || synthpool::isMidiFile(fileName))
        return std::nullopt;
    ensureGstInitialized();
    // Declared first, so that they outlive the pipeline's threads.
    const std::unique_ptr<SectorReader> sectors = SectorReader::open(fileName);
    Feed feed;

    GError *error = nullptr;
    GstElementRef pipeline = adoptElement(gst_parse_launch(Pipeline, &error));
    g_clear_error(&error);
    if (!pipeline)
        return std::nullopt;
    GstElementRef decoder(gst_bin_get_by_name(GST_BIN(pipeline.get()), "decoder"));
    GstElementRef sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    if (sectors) {
        g_object_set(decoder.get(), "uri", SectorReader::sourceUri(), nullptr);
        g_signal_connect(decoder.get(), "source-setup", G_CALLBACK(SectorReader::onSourceSetup), sectors.get());
    } else {
        gchar *uri = gst_filename_to_uri(QFile::encodeName(fileName).constData(), nullptr);
        if (!uri)
            return std::nullopt;
        g_object_set(decoder.get(), "uri", uri, nullptr);
        g_free(uri);
    }
    GstPadRef sinkPad(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(sinkPad.get(), GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      &Feed::onData, &feed, nullptr);

    GstBusRef bus(gst_element_get_bus(pipeline.get()));
    bool ended = false;
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        while (!cancelled) {
            GstMessageRef message(gst_bus_timed_pop_filtered(
                bus.get(), CancelCheckInterval, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
            if (!message)
                continue;
            ended = GST_MESSAGE_TYPE(message.get()) == GST_MESSAGE_EOS;
            if (!ended)
                qCDebug(lcPlayback) << "loudness of" << fileName << "not measured:" << errorText(message.get());
            break;
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    if (!ended || cancelled || feed.failed || !feed.measure)
        return std::nullopt;
    return feed.measure->lufs();
}

} // namespace

LoudnessMeter::LoudnessMeter(QObject *parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    // Measuring takes only what playing leaves over: a file is measured as it
    // is given, just when Play is likely to start both channels.
    m_pool.setThreadPriority(QThread::IdlePriority);
}

LoudnessMeter::~LoudnessMeter()
{
    cancel();
    m_pool.waitForDone();
}

void LoudnessMeter::measure(const QString &fileName)
{
    cancel();
    m_cancelled = std::make_shared<std::atomic<bool>>(false);
    m_pool.start([this, fileName, cancelled = m_cancelled] { run(fileName, cancelled); });
}

void LoudnessMeter::cancel()
{
    if (m_cancelled)
        *m_cancelled = true;
}

// On the pool's thread.
void LoudnessMeter::run(const QString &fileName, const Flag &cancelled)
{
    // Dropped while it waited for the one before: files given in quick turns
    // start no decoder each.
    if (*cancelled)
        return;
    const std::optional<double> lufs = decodeLoudness(fileName, *cancelled);
    if (*cancelled)
        return;
    // The flag is read again on this object's thread, where measure() and
    // cancel() set it, so a result dropped in between is not reported.
    QMetaObject::invokeMethod(
        this,
        [this, fileName, cancelled, lufs] {
            if (*cancelled)
                return;
            if (lufs)
                emit measured(fileName, *lufs);
            else
                emit failed(fileName);
        },
        Qt::QueuedConnection);
}
