#include "ChannelBranch.h"

#include "SectorReader.h"
#include "SynthPool.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <gst/audio/gstaudiodecoder.h>
#include <gst/base/gstaggregator.h>

#include <algorithm>
#include <mutex>

Q_DECLARE_LOGGING_CATEGORY(lcPlayback)

namespace {

const char *const EndMessage = "tandra-branch-end";
const char *const LoopMessage = "tandra-branch-loop";

bool displayExists()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The video window's sink, chosen once for the process. Left to
// autovideosink, every open would try sinks that can't work here (XVideo
// on a server without it, OpenGL without a driver), which on such displays
// costs seconds and delays the sound.
const char *windowVideoSinkName()
{
    static const char *chosen = [] {
        static const char *const x11Sinks[] = {"xvimagesink", "ximagesink"};
        static const char *const waylandSinks[] = {"waylandsink", "glimagesink"};
        const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
        for (const char *name : x11 ? x11Sinks : waylandSinks) {
            GstElementRef sink = adoptElement(gst_element_factory_make(name, nullptr));
            if (!sink)
                continue;
            const bool works = gst_element_set_state(sink.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
            gst_element_set_state(sink.get(), GST_STATE_NULL);
            if (works)
                return name;
        }
        return "autovideosink";
    }();
    return chosen;
}

// Once its first sound has gone (as soon as it could), a decoder hands on
// blocks of this length: far fewer wake-ups of its thread and the mixer's
// than a frame (26 ms of an MP3) at a time.
constexpr GstClockTime DecoderBlock = 100 * GST_MSECOND;

void handOnInBlocks(GstElement *bin)
{
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto *element = GST_ELEMENT(g_value_get_object(&item));
        if (GST_IS_AUDIO_DECODER(element))
            gst_audio_decoder_set_min_latency(GST_AUDIO_DECODER(element), DecoderBlock);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
}

bool hasCapsPrefix(GstPad *pad, const char *prefix)
{
    GstCaps *caps = gst_pad_get_current_caps(pad);
    if (!caps)
        caps = gst_pad_query_caps(pad, nullptr);
    const bool matches = caps && !gst_caps_is_empty(caps)
                         && g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), prefix);
    if (caps)
        gst_caps_unref(caps);
    return matches;
}

} // namespace

ChannelBranch::ChannelBranch(QString fileName, const Setup &setup)
    : m_fileName(std::move(fileName))
    , m_setup(setup)
    , m_volume(setup.volume)
    , m_muted(setup.muted)
    , m_looping(setup.looping)
    , m_offset(setup.offset)
{
    m_mixer = setup.mixer;
    gst_segment_init(&m_segment, GST_FORMAT_TIME);
}

std::unique_ptr<ChannelBranch> ChannelBranch::create(const QString &fileName, const Setup &setup)
{
    // Only regular files: a FIFO or a device would never end its reading.
    const QFileInfo info(fileName);
    if (fileName.isEmpty() || !info.isFile() || !info.isReadable() || info.size() == 0)
        return nullptr;
    std::unique_ptr<ChannelBranch> branch(new ChannelBranch(info.absoluteFilePath(), setup));
    if (!branch->build())
        return nullptr;
    return branch;
}

bool ChannelBranch::build()
{
    m_bin = adoptElement(gst_bin_new(nullptr));
    m_convert = adoptElement(gst_element_factory_make("audioconvert", nullptr));
    GstElement *resample = gst_element_factory_make("audioresample", nullptr);
    GstElement *format = gst_element_factory_make("capsfilter", nullptr);
    if (!m_convert || !resample || !format) {
        for (GstElement *e : {resample, format})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return false;
    }
    g_object_set(format, "caps", m_setup.mixCaps, nullptr);
    // Adding takes a reference of its own to an element already held.
    gst_bin_add_many(GST_BIN(m_bin.get()), m_convert.get(), resample, format, nullptr);
    if (!gst_element_link_many(m_convert.get(), resample, format, nullptr))
        return false;
    if (!(synthpool::isMidiFile(m_fileName) ? addSynthesiser() : addDecoder()))
        return false;

    m_formatSrc.reset(gst_element_get_static_pad(format, "src"));
    m_output = gst_ghost_pad_new("src", m_formatSrc.get());
    gst_pad_add_probe(m_output,
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM
                                      | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      &ChannelBranch::onOutput, this, nullptr);
    gst_pad_add_probe(m_output, GST_PAD_PROBE_TYPE_EVENT_UPSTREAM, &ChannelBranch::onSeek, this, nullptr);
    gst_element_add_pad(m_bin.get(), m_output);

    gst_bin_add(GST_BIN(m_setup.pipeline), m_bin.get());
    // Starting together, the mixer waits for every channel's first sample;
    // a later channel's silence before it is the mixer's.
    m_joinLater = m_setup.joinsPlaying && m_setup.joinAt < 0;
    const GstClockTimeDiff startsAt = m_setup.joinAt >= 0 ? m_setup.joinAt : std::max<GstClockTimeDiff>(0, m_setup.offset);
    if (!m_joinLater && !joinMixer(startsAt))
        return false;
    // Joins the pipeline's state, whatever it is now.
    return gst_element_sync_state_with_parent(m_bin.get());
}

// Any file: its type decides how it is decoded; pads come as they are found.
bool ChannelBranch::addDecoder()
{
    GstElement *decoder = gst_element_factory_make("uridecodebin", nullptr);
    if (!decoder)
        return false;
    gst_bin_add(GST_BIN(m_bin.get()), decoder);
    m_sectors = SectorReader::open(m_fileName);
    if (m_sectors) {
        g_object_set(decoder, "uri", SectorReader::sourceUri(), nullptr);
        g_signal_connect(decoder, "source-setup", G_CALLBACK(SectorReader::onSourceSetup), m_sectors.get());
    } else {
        gchar *uri = gst_filename_to_uri(QFile::encodeName(m_fileName).constData(), nullptr);
        if (!uri)
            return false;
        g_object_set(decoder, "uri", uri, nullptr);
        g_free(uri);
    }
    g_signal_connect(decoder, "pad-added", G_CALLBACK(&ChannelBranch::onPadAdded), this);
    g_signal_connect(decoder, "no-more-pads", G_CALLBACK(&ChannelBranch::onNoMorePads), this);
    return true;
}

// MIDI: a synthesiser loaded ahead, linked before any event comes.
bool ChannelBranch::addSynthesiser()
{
    GstElement *source = gst_element_factory_make("filesrc", nullptr);
    GstElement *parse = gst_element_factory_make("midiparse", nullptr);
    GstElement *synth = synthpool::acquire();
    if (!source || !parse || !synth) {
        for (GstElement *e : {source, parse})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        if (synth)
            synthpool::retire(synth);
        return false;
    }
    g_object_set(source, "location", QFile::encodeName(m_fileName).constData(), nullptr);
    gst_bin_add_many(GST_BIN(m_bin.get()), source, parse, synth, nullptr);
    gst_object_unref(synth); // the bin holds it now
    m_synth = synth;
    m_audioLinked = true;
    return gst_element_link_many(source, parse, synth, m_convert.get(), nullptr);
}

ChannelBranch::~ChannelBranch()
{
    if (!m_bin)
        return;
    // Releasing the mixer pad first wakes a streaming thread that waits in
    // the mixer, so the bin can stop while the other channel plays on.
    GstPadRef mixerPad;
    gulong moveProbe = 0;
    {
        std::lock_guard lock(m_mixerMutex);
        m_leaving = true;
        mixerPad = std::move(m_mixerPad);
        moveProbe = std::exchange(m_moveProbe, 0);
    }
    if (moveProbe)
        gst_pad_remove_probe(m_output, moveProbe);
    releaseMixerPad(std::move(mixerPad));
    gst_element_set_locked_state(m_bin.get(), TRUE);
    // Stopping waits for the streaming threads, so no synthesiser comes in after.
    gst_element_set_state(m_bin.get(), GST_STATE_READY);
    if (GstElement *synth = m_synth.exchange(nullptr)) {
        gst_object_ref(synth);
        gst_bin_remove(GST_BIN(m_bin.get()), synth);
        synthpool::retire(synth);
    }
    gst_element_set_state(m_bin.get(), GST_STATE_NULL);
    if (GST_OBJECT_PARENT(m_bin.get()))
        gst_bin_remove(GST_BIN(m_setup.pipeline), m_bin.get());
    // Only now: the bin's threads may read from it until it stops.
    m_sectors.reset();
}

bool ChannelBranch::contains(GstObject *object) const
{
    return object && (object == GST_OBJECT(m_bin.get()) || gst_object_has_as_ancestor(object, GST_OBJECT(m_bin.get())));
}

bool ChannelBranch::isMessageOfEnd(GstMessage *message) const
{
    return GST_MESSAGE_TYPE(message) == GST_MESSAGE_APPLICATION && GST_MESSAGE_SRC(message) == GST_OBJECT(m_bin.get())
           && gst_message_has_name(message, EndMessage);
}

bool ChannelBranch::isMessageOfLoop(GstMessage *message) const
{
    return GST_MESSAGE_TYPE(message) == GST_MESSAGE_APPLICATION && GST_MESSAGE_SRC(message) == GST_OBJECT(m_bin.get())
           && gst_message_has_name(message, LoopMessage);
}

void ChannelBranch::finishRound()
{
    GstPadRef mixerPad;
    {
        std::lock_guard lock(m_mixerMutex);
        if (m_mixerPad)
            mixerPad.reset(GST_PAD(gst_object_ref(m_mixerPad.get())));
    }
    // Queued behind its last samples: the mixer plays them all, then goes on.
    if (mixerPad)
        gst_pad_send_event(mixerPad.get(), gst_event_new_eos());
}

GstClockTimeDiff ChannelBranch::fileAtRunningZero() const { return m_fileStart - gst_pad_get_offset(m_output); }

// The pad offset changes as the seek's flush passes, before its new segment.
void ChannelBranch::placeAfterFlush(const ChannelPlacement &placement)
{
    m_fileStart = placement.fileStart;
    m_pendingPadOffset = placement.padOffset;
    m_offsetPending = true;
}

void ChannelBranch::jump(const ChannelPlacement &placement)
{
    placeAfterFlush(placement);
    // Sent from inside the bin, so that it is not taken for the pipeline's.
    gst_pad_send_event(m_formatSrc.get(),
                       gst_event_new_seek(1.0, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                          GST_SEEK_TYPE_SET, placement.fileStart, GST_SEEK_TYPE_NONE, -1));
}

// The pipeline's seek is to a place on the timeline; this file goes to its
// own place there, which its offset decides.
GstPadProbeReturn ChannelBranch::onSeek(GstPad *, GstPadProbeInfo *info, gpointer self)
{
    auto *branch = static_cast<ChannelBranch *>(self);
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_SEEK)
        return GST_PAD_PROBE_OK;
    double rate;
    GstFormat format;
    GstSeekFlags flags;
    GstSeekType startType, stopType;
    gint64 start, stop;
    gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
    if (format != GST_FORMAT_TIME || startType != GST_SEEK_TYPE_SET || start < 0)
        return GST_PAD_PROBE_OK;
    const ChannelPlacement placement = placeChannel(start, branch->m_offset, 0);
    branch->placeAfterFlush(placement);
    GstEvent *placed = gst_event_new_seek(rate, format, flags, startType, placement.fileStart, stopType, stop);
    gst_event_set_seqnum(placed, gst_event_get_seqnum(event));
    gst_event_unref(event);
    GST_PAD_PROBE_INFO_DATA(info) = placed;
    return GST_PAD_PROBE_OK;
}

qint64 ChannelBranch::durationMs() const
{
    gint64 duration = -1;
    if (m_durationMs < 0 && gst_pad_query_duration(m_output, GST_FORMAT_TIME, &duration) && duration >= 0)
        m_durationMs = duration / GST_MSECOND;
    return m_durationMs;
}

void ChannelBranch::setVolume(double linear, bool muted)
{
    std::lock_guard lock(m_mixerMutex);
    m_volume = linear;
    m_muted = muted;
    if (m_mixerPad)
        g_object_set(m_mixerPad.get(), "volume", linear, "mute", gboolean(muted), nullptr);
}

// The running time up to which the mixer has mixed its inputs.
static GstClockTimeDiff mixedUntil(GstElement *mixer)
{
    GstSegment &out = GST_AGGREGATOR_PAD(GST_AGGREGATOR(mixer)->srcpad)->segment;
    GST_OBJECT_LOCK(mixer);
    const GstClockTime running = GST_CLOCK_TIME_IS_VALID(out.position)
                                     ? gst_segment_to_running_time(&out, GST_FORMAT_TIME, out.position)
                                     : GST_CLOCK_TIME_NONE;
    GST_OBJECT_UNLOCK(mixer);
    return GST_CLOCK_TIME_IS_VALID(running) ? GstClockTimeDiff(running) : -1;
}

// Where a channel joining now can start without losing a sample: after the
// block the mixer is making or still handing on (its position only moves on
// once the sound output has taken that block, which may take a block's
// time). That is ahead of the clock by what the sound output holds, so a
// channel joining at the clock's now would lose that much of its start.
static GstClockTimeDiff mixerRunningTime(GstElement *mixer)
{
    guint64 block = 0;
    g_object_get(mixer, "output-buffer-duration", &block, nullptr);
    const GstClockTimeDiff mixed = mixedUntil(mixer);
    if (mixed >= 0)
        return mixed + GstClockTimeDiff(block);
    // A mixer that has mixed nothing yet, made for an output while the
    // others play: its sound starts a block from now.
    const GstClockTime now = gst_element_get_current_running_time(mixer);
    return GST_CLOCK_TIME_IS_VALID(now) ? GstClockTimeDiff(now + block) : 0;
}

bool ChannelBranch::isMixedOut() const
{
    return mixedUntil(m_mixer) >= m_endRunning;
}

GstClockTimeDiff ChannelBranch::nextMixTime() const { return mixerRunningTime(m_mixer); }

bool ChannelBranch::isMixedPast(GstClockTimeDiff runningTime) const { return mixedUntil(m_mixer) >= runningTime; }

bool ChannelBranch::waitApart()
{
    GstPadRef mixerPad;
    {
        std::lock_guard lock(m_mixerMutex);
        if (sounds())
            return false;
        m_joinLater = true;
        mixerPad = std::move(m_mixerPad);
    }
    releaseMixerPad(std::move(mixerPad));
    return true;
}

bool ChannelBranch::joinMixer(GstClockTimeDiff startsAt)
{
    std::lock_guard lock(m_mixerMutex);
    if (m_leaving || m_mixerPad)
        return true;
    gst_pad_set_offset(m_output, startsAt);
    m_mixerPad.reset(gst_element_request_pad_simple(m_mixer, "sink_%u"));
    if (!m_mixerPad)
        return false;
    g_object_set(m_mixerPad.get(), "volume", m_volume, "mute", gboolean(m_muted), nullptr);
    return gst_pad_link(m_output, m_mixerPad.get()) == GST_PAD_LINK_OK;
}

void ChannelBranch::releaseMixerPad(GstPadRef pad)
{
    if (!pad)
        return;
    gst_pad_unlink(m_output, pad.get());
    if (GstElement *mixer = gst_pad_get_parent_element(pad.get())) {
        gst_element_release_request_pad(mixer, pad.get());
        gst_object_unref(mixer);
    }
}

void ChannelBranch::moveTo(GstElement *mixer)
{
    {
        std::lock_guard lock(m_mixerMutex);
        m_mixer = mixer;
        // Not in a mixer yet: it joins the new one when its sound comes.
        if (!m_mixerPad || m_leaving || m_moveProbe)
            return;
        m_moved = false;
    }
    // Between two buffers, so that none is pushed to a pad that is going.
    // Called at once, here, when no buffer is under way.
    const gulong probe = gst_pad_add_probe(m_output, GST_PAD_PROBE_TYPE_IDLE, &ChannelBranch::onIdleToMove, this, nullptr);
    std::lock_guard lock(m_mixerMutex);
    if (!m_moved)
        m_moveProbe = probe;
}

GstPadProbeReturn ChannelBranch::onIdleToMove(GstPad *, GstPadProbeInfo *, gpointer self)
{
    auto *branch = static_cast<ChannelBranch *>(self);
    GstPadRef old;
    {
        std::lock_guard lock(branch->m_mixerMutex);
        branch->m_moveProbe = 0;
        branch->m_moved = true;
        if (branch->m_leaving)
            return GST_PAD_PROBE_REMOVE;
        old = std::move(branch->m_mixerPad);
    }
    branch->releaseMixerPad(std::move(old));
    // The same running time: its sound goes on where it was, beside the
    // other channel, from the new mixer.
    branch->joinMixer(gst_pad_get_offset(branch->m_output));
    return GST_PAD_PROBE_REMOVE;
}

// The callbacks below run on streaming threads; they touch only this
// branch's own elements.

void ChannelBranch::onPadAdded(GstElement *, GstPad *pad, gpointer self)
{
    auto *branch = static_cast<ChannelBranch *>(self);
    if (hasCapsPrefix(pad, "audio/"))
        branch->linkAudio(pad);
    else if (hasCapsPrefix(pad, "video/"))
        branch->linkVideo(pad);
}

void ChannelBranch::linkAudio(GstPad *pad)
{
    if (m_audioLinked.exchange(true))
        return; // one sound stream per file
    GstPadRef sink(gst_element_get_static_pad(m_convert.get(), "sink"));
    if (gst_pad_link(pad, sink.get()) != GST_PAD_LINK_OK)
        qCWarning(lcPlayback) << "could not take the sound of" << m_fileName;
}

void ChannelBranch::linkVideo(GstPad *pad)
{
    GstBin *bin = GST_BIN(m_bin.get());
    GstElement *first = nullptr;
    if (m_setup.showVideo && displayExists()) {
        GstElement *queue = gst_element_factory_make("queue", nullptr);
        GstElement *convert = gst_element_factory_make("videoconvert", nullptr);
        GstElement *scale = gst_element_factory_make("videoscale", nullptr);
        GstElement *sink = gst_element_factory_make(windowVideoSinkName(), nullptr);
        if (!queue || !convert || !scale || !sink) {
            for (GstElement *e : {queue, convert, scale, sink})
                if (e)
                    gst_object_unref(gst_object_ref_sink(e));
            return;
        }
        gst_bin_add_many(bin, queue, convert, scale, sink, nullptr);
        gst_element_link_many(queue, convert, scale, sink, nullptr);
        for (GstElement *e : {sink, scale, convert, queue})
            gst_element_sync_state_with_parent(e);
        first = queue;
    } else {
        // Decoded and dropped at once: nothing waits for the pictures.
        first = gst_element_factory_make("fakesink", nullptr);
        if (!first)
            return;
        g_object_set(first, "sync", FALSE, "async", FALSE, nullptr);
        gst_bin_add(bin, first);
        gst_element_sync_state_with_parent(first);
    }
    GstPadRef sink(gst_element_get_static_pad(first, "sink"));
    gst_pad_link(pad, sink.get());
}

void ChannelBranch::onNoMorePads(GstElement *, gpointer self)
{
    auto *branch = static_cast<ChannelBranch *>(self);
    // A file without sound must not hold the mixer waiting for it.
    if (branch->m_audioLinked.exchange(true))
        return;
    GstPadRef sink(gst_element_get_static_pad(branch->m_convert.get(), "sink"));
    gst_pad_send_event(sink.get(), gst_event_new_eos());
}

GstPadProbeReturn ChannelBranch::onOutput(GstPad *, GstPadProbeInfo *info, gpointer self)
{
    auto *branch = static_cast<ChannelBranch *>(self);
    GstElement *bin = branch->m_bin.get();
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        if (!branch->m_started.exchange(true))
            handOnInBlocks(bin);
        // Linked here, this very buffer goes to the mixer.
        if (branch->m_joinLater)
            branch->joinMixer(mixerRunningTime(branch->m_mixer));
        GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        if (GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_DURATION_IS_VALID(buffer)) {
            const GstClockTime end = gst_segment_to_running_time(&branch->m_segment, GST_FORMAT_TIME,
                                                                 GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer));
            // The segment seen here carries the pad's offset already.
            if (GST_CLOCK_TIME_IS_VALID(end))
                branch->m_endRunning = GstClockTimeDiff(end);
        }
        return GST_PAD_PROBE_OK;
    }
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    // After a seek's flush, before its new segment: the file's new place.
    if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP && branch->m_offsetPending.exchange(false)) {
        gst_pad_set_offset(branch->m_output, branch->m_pendingPadOffset);
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
        gst_event_copy_segment(event, &branch->m_segment);
    } else if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
        branch->m_started = true;
        const bool loops = branch->m_looping;
        gst_element_post_message(bin, gst_message_new_application(
                                          GST_OBJECT(bin), gst_structure_new_empty(loops ? LoopMessage : EndMessage)));
        // Held back, the mixer waits for the next round instead of going on
        // without this channel.
        if (loops)
            return GST_PAD_PROBE_DROP;
    }
    return GST_PAD_PROBE_OK;
}
