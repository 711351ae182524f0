#include "MixerElement.h"

#include "GainRamp.h"

#include <gst/audio/gstaudioaggregator.h>

#include <new>
#include <utility>

namespace {

constexpr double MaxVolume = 10;

enum { PropVolume = 1, PropMute };

// Pads that could convert, as audiomixer's, for their way of agreeing on a
// format: a caps event that differs from the mix's only in how it spells
// the same format is taken. What comes in is the mix's format already, so
// nothing is converted.
struct TandraMixerPad
{
    GstAudioAggregatorConvertPad parent;
    // As asked; guarded by the pad's object lock.
    double volume;
    gboolean mute;
    bool restart; // nothing to fade from: take the gain at once
    bool fadeIn;  // flushed: its sound comes in from silence where it lands
    // Used by the mixing thread alone.
    GainRamp ramp;
    gint64 rampStart; // the output frame the ramp starts on
};

struct TandraMixerPadClass
{
    GstAudioAggregatorConvertPadClass parent;
};

struct TandraMixer
{
    GstAudioAggregator parent;
    // New gains start on the frame of this running time, or with the next
    // block once it has passed; none while held. Guarded by the object lock.
    GstClockTime takeFrom;
    GstClockTime blockTime; // the running time the block being mixed starts on; object lock
    // Held while a block is mixed, but not while it is pushed on: the base
    // class lets go of the pad list while it mixes a pad, so a pad must
    // not be added or released meanwhile.
    GMutex padsLock;
    bool mixing;         // the mixing thread holds padsLock; mixing thread
    gint64 blockStart;   // the output frame the block being mixed starts on; mixing thread
    gint64 mixedBlock;   // the last block any pad was mixed into; mixing thread
};

struct TandraMixerClass
{
    GstAudioAggregatorClass parent;
};

GType tandra_mixer_pad_get_type();
G_DEFINE_TYPE(TandraMixerPad, tandra_mixer_pad, GST_TYPE_AUDIO_AGGREGATOR_CONVERT_PAD)
GType tandra_mixer_get_type();
G_DEFINE_TYPE(TandraMixer, tandra_mixer, GST_TYPE_AUDIO_AGGREGATOR)

TandraMixerPad *padOf(gpointer object) { return reinterpret_cast<TandraMixerPad *>(object); }
TandraMixer *mixerOf(gpointer object) { return reinterpret_cast<TandraMixer *>(object); }

// Pad

void setPadProperty(GObject *object, guint id, const GValue *value, GParamSpec *spec)
{
    TandraMixerPad *pad = padOf(object);
    GST_OBJECT_LOCK(pad);
    if (id == PropVolume)
        pad->volume = g_value_get_double(value);
    else if (id == PropMute)
        pad->mute = g_value_get_boolean(value);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    GST_OBJECT_UNLOCK(pad);
}

void getPadProperty(GObject *object, guint id, GValue *value, GParamSpec *spec)
{
    TandraMixerPad *pad = padOf(object);
    GST_OBJECT_LOCK(pad);
    if (id == PropVolume)
        g_value_set_double(value, pad->volume);
    else if (id == PropMute)
        g_value_set_boolean(value, pad->mute);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    GST_OBJECT_UNLOCK(pad);
}

// A pad flushed alone (its channel jumped) fades its new sound in from
// silence, from its first frame on, so that the jump does not click.
GstFlowReturn flushPad(GstAggregatorPad *aggregatorPad, GstAggregator *aggregator)
{
    TandraMixerPad *pad = padOf(aggregatorPad);
    GST_OBJECT_LOCK(pad);
    pad->fadeIn = true;
    GST_OBJECT_UNLOCK(pad);
    return GST_AGGREGATOR_PAD_CLASS(tandra_mixer_pad_parent_class)->flush(aggregatorPad, aggregator);
}

void tandra_mixer_pad_class_init(TandraMixerPadClass *klass)
{
    auto *objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = setPadProperty;
    objectClass->get_property = getPadProperty;
    GST_AGGREGATOR_PAD_CLASS(klass)->flush = flushPad;
    const auto flags = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(objectClass, PropVolume,
                                    g_param_spec_double("volume", "Volume", "Linear gain", 0, MaxVolume, 1, flags));
    g_object_class_install_property(objectClass, PropMute,
                                    g_param_spec_boolean("mute", "Mute", "Silent whatever the volume", FALSE, flags));
}

void tandra_mixer_pad_init(TandraMixerPad *pad)
{
    pad->volume = 1;
    pad->mute = FALSE;
    pad->restart = true;
    pad->fadeIn = false;
    new (&pad->ramp) GainRamp(1);
    pad->rampStart = 0;
}

// Element

// The pad's gain as asked: at once when it starts anew, else by a ramp from
// where it is on frame `start`; a change waits while `start` is negative.
void takeGain(TandraMixer *mixer, TandraMixerPad *pad, int rate, gint64 start)
{
    GST_OBJECT_LOCK(pad);
    const double target = pad->mute ? 0 : pad->volume;
    const bool restart = std::exchange(pad->restart, false);
    GST_OBJECT_UNLOCK(pad);
    if (restart) {
        pad->ramp = GainRamp(target);
        pad->rampStart = mixer->blockStart;
    } else if (start >= 0 && target != pad->ramp.to()) {
        pad->ramp = GainRamp(pad->ramp.at(start - pad->rampStart), target, GainRamp::fadeFrames(rate));
        pad->rampStart = start;
    }
}

// The frame new gains start on, for the block about to be mixed; -1 while held.
gint64 changeFrame(const TandraMixer *mixer, int rate)
{
    if (mixer->takeFrom == GST_CLOCK_TIME_NONE)
        return -1;
    if (!GST_CLOCK_TIME_IS_VALID(mixer->blockTime) || mixer->takeFrom <= mixer->blockTime)
        return mixer->blockStart;
    return mixer->blockStart +
           gint64(gst_util_uint64_scale_ceil(mixer->takeFrom - mixer->blockTime, guint64(rate), GST_SECOND));
}

// New gains are taken up as a block starts, for all pads on one frame, before
// any pad is mixed into it: the base class may come back to a block several
// times while its pads' sound comes in.
GstFlowReturn aggregate(GstAggregator *aggregator, gboolean timeout)
{
    TandraMixer *mixer = mixerOf(aggregator);
    GST_OBJECT_LOCK(aggregator);
    const GstSegment &segment = GST_AGGREGATOR_PAD(aggregator->srcpad)->segment;
    const int rate = GST_AUDIO_INFO_RATE(&GST_AUDIO_AGGREGATOR_PAD(aggregator->srcpad)->info);
    if (rate > 0 && segment.format == GST_FORMAT_TIME) {
        const GstClockTime position = GST_CLOCK_TIME_IS_VALID(segment.position) ? segment.position : segment.start;
        mixer->blockStart = gint64(gst_util_uint64_scale_ceil(position - segment.start, guint64(rate), GST_SECOND));
        mixer->blockTime = gst_segment_to_running_time(&segment, GST_FORMAT_TIME, position);
        if (mixer->mixedBlock != mixer->blockStart) {
            const gint64 start = changeFrame(mixer, rate);
            for (GList *l = GST_ELEMENT(aggregator)->sinkpads; l; l = l->next)
                takeGain(mixer, padOf(l->data), rate, start);
            if (start >= 0)
                mixer->takeFrom = 0; // taken: later changes start with their block
        }
    }
    GST_OBJECT_UNLOCK(aggregator);
    g_mutex_lock(&mixer->padsLock);
    mixer->mixing = true;
    const GstFlowReturn result = GST_AGGREGATOR_CLASS(tandra_mixer_parent_class)->aggregate(aggregator, timeout);
    mixer->mixing = false;
    g_mutex_unlock(&mixer->padsLock);
    return result;
}

// Pushing on may wait (a paused sink), so pads may come and go meanwhile.
GstFlowReturn finishBuffer(GstAggregator *aggregator, GstBuffer *buffer)
{
    TandraMixer *mixer = mixerOf(aggregator);
    const bool mixing = mixer->mixing;
    if (mixing)
        g_mutex_unlock(&mixer->padsLock);
    const GstFlowReturn result = GST_AGGREGATOR_CLASS(tandra_mixer_parent_class)->finish_buffer(aggregator, buffer);
    if (mixing)
        g_mutex_lock(&mixer->padsLock);
    return result;
}

GstPad *requestPad(GstElement *element, GstPadTemplate *padTemplate, const gchar *name, const GstCaps *caps)
{
    TandraMixer *mixer = mixerOf(element);
    g_mutex_lock(&mixer->padsLock);
    GstPad *pad = GST_ELEMENT_CLASS(tandra_mixer_parent_class)->request_new_pad(element, padTemplate, name, caps);
    g_mutex_unlock(&mixer->padsLock);
    return pad;
}

void releasePad(GstElement *element, GstPad *pad)
{
    TandraMixer *mixer = mixerOf(element);
    g_mutex_lock(&mixer->padsLock);
    GST_ELEMENT_CLASS(tandra_mixer_parent_class)->release_pad(element, pad);
    g_mutex_unlock(&mixer->padsLock);
}

void finalize(GObject *object)
{
    g_mutex_clear(&mixerOf(object)->padsLock);
    G_OBJECT_CLASS(tandra_mixer_parent_class)->finalize(object);
}

// A seek of the whole mix, after each pad's own flush: every pad starts
// anew at its gain, sample for sample, as from the start.
GstFlowReturn flush(GstAggregator *aggregator)
{
    mixerOf(aggregator)->mixedBlock = -1;
    GST_OBJECT_LOCK(aggregator);
    if (mixerOf(aggregator)->takeFrom != GST_CLOCK_TIME_NONE)
        mixerOf(aggregator)->takeFrom = 0; // a time from before the seek means nothing after it
    for (GList *l = GST_ELEMENT(aggregator)->sinkpads; l; l = l->next) {
        TandraMixerPad *pad = padOf(l->data);
        GST_OBJECT_LOCK(pad);
        pad->fadeIn = false;
        pad->restart = true;
        GST_OBJECT_UNLOCK(pad);
    }
    GST_OBJECT_UNLOCK(aggregator);
    return GST_AGGREGATOR_CLASS(tandra_mixer_parent_class)->flush(aggregator);
}

void add(float *out, const float *in, gsize samples)
{
    for (gsize i = 0; i < samples; ++i)
        out[i] += in[i];
}

void addScaled(float *out, const float *in, gsize samples, float gain)
{
    for (gsize i = 0; i < samples; ++i)
        out[i] += in[i] * gain;
}

// out += in × the pad's gain, frame by frame. True when anything was added.
gboolean aggregateOneBuffer(GstAudioAggregator *aggregator, GstAudioAggregatorPad *audioPad, GstBuffer *inBuffer,
                            guint inOffset, GstBuffer *outBuffer, guint outOffset, guint frames)
{
    TandraMixer *mixer = mixerOf(aggregator);
    TandraMixerPad *pad = padOf(audioPad);
    const GstAudioInfo &info = GST_AUDIO_AGGREGATOR_PAD(GST_AGGREGATOR(aggregator)->srcpad)->info;
    const int channels = GST_AUDIO_INFO_CHANNELS(&info);
    mixer->mixedBlock = mixer->blockStart;
    GST_OBJECT_LOCK(pad);
    const bool fadeIn = std::exchange(pad->fadeIn, false);
    const double asked = pad->mute ? 0 : pad->volume;
    GST_OBJECT_UNLOCK(pad);
    if (fadeIn) {
        pad->ramp = GainRamp(0, asked, GainRamp::fadeFrames(GST_AUDIO_INFO_RATE(&info)));
        pad->rampStart = mixer->blockStart + outOffset;
    } else if (inOffset == 0 && GST_BUFFER_IS_DISCONT(inBuffer)) {
        // The first of a new stretch of sound: nothing before it to fade from.
        GST_OBJECT_LOCK(pad);
        pad->restart = true;
        GST_OBJECT_UNLOCK(pad);
        takeGain(mixer, pad, GST_AUDIO_INFO_RATE(&info), -1);
    }
    gint64 frame = mixer->blockStart + outOffset - pad->rampStart; // within the ramp
    if (pad->ramp.isDoneAt(frame) && pad->ramp.to() == 0)
        return FALSE;

    GstMapInfo in, out;
    if (!gst_buffer_map(inBuffer, &in, GST_MAP_READ))
        return FALSE;
    if (!gst_buffer_map(outBuffer, &out, GST_MAP_READWRITE)) {
        gst_buffer_unmap(inBuffer, &in);
        return FALSE;
    }
    const float *source = reinterpret_cast<const float *>(in.data) + gsize(inOffset) * channels;
    float *target = reinterpret_cast<float *>(out.data) + gsize(outOffset) * channels;
    guint done = 0;
    for (; done < frames && !pad->ramp.isDoneAt(frame); ++done, ++frame) {
        addScaled(target, source, channels, float(pad->ramp.at(frame)));
        target += channels;
        source += channels;
    }
    const double gain = pad->ramp.to();
    const gsize rest = gsize(frames - done) * channels;
    if (gain == 1)
        add(target, source, rest);
    else if (gain != 0)
        addScaled(target, source, rest, float(gain));
    gst_buffer_unmap(outBuffer, &out);
    gst_buffer_unmap(inBuffer, &in);
    return done > 0 || (rest > 0 && gain != 0);
}

void tandra_mixer_class_init(TandraMixerClass *klass)
{
    auto *elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(elementClass, "Tandra mixer", "Generic/Audio",
                                          "Adds its inputs, each at a gain that changes without a click", "Tandra");
    static GstStaticPadTemplate sinkTemplate =
        GST_STATIC_PAD_TEMPLATE("sink_%u", GST_PAD_SINK, GST_PAD_REQUEST,
                                GST_STATIC_CAPS("audio/x-raw,format=F32LE,layout=interleaved,"
                                                "rate=[1,2147483647],channels=[1,64]"));
    static GstStaticPadTemplate srcTemplate =
        GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                                GST_STATIC_CAPS("audio/x-raw,format=F32LE,layout=interleaved,"
                                                "rate=[1,2147483647],channels=[1,64]"));
    gst_element_class_add_static_pad_template_with_gtype(elementClass, &sinkTemplate, tandra_mixer_pad_get_type());
    gst_element_class_add_static_pad_template_with_gtype(elementClass, &srcTemplate,
                                                         GST_TYPE_AUDIO_AGGREGATOR_CONVERT_PAD);
    auto *aggregatorClass = GST_AGGREGATOR_CLASS(klass);
    aggregatorClass->aggregate = aggregate;
    aggregatorClass->finish_buffer = finishBuffer;
    aggregatorClass->flush = flush;
    elementClass->request_new_pad = requestPad;
    elementClass->release_pad = releasePad;
    G_OBJECT_CLASS(klass)->finalize = finalize;
    GST_AUDIO_AGGREGATOR_CLASS(klass)->aggregate_one_buffer = aggregateOneBuffer;
}

void tandra_mixer_init(TandraMixer *mixer)
{
    mixer->takeFrom = 0;
    mixer->blockTime = GST_CLOCK_TIME_NONE;
    g_mutex_init(&mixer->padsLock);
    mixer->mixing = false;
    mixer->blockStart = 0;
    mixer->mixedBlock = -1;
}

} // namespace

GstElement *createMixerElement()
{
    return GST_ELEMENT(g_object_new(tandra_mixer_get_type(), nullptr));
}

void holdMixerChanges(GstElement *mixer)
{
    releaseMixerChanges(mixer, GST_CLOCK_TIME_NONE);
}

void releaseMixerChanges(GstElement *mixer, GstClockTime from)
{
    if (!mixer || !G_TYPE_CHECK_INSTANCE_TYPE(mixer, tandra_mixer_get_type()))
        return;
    GST_OBJECT_LOCK(mixer);
    mixerOf(mixer)->takeFrom = from;
    GST_OBJECT_UNLOCK(mixer);
}

GstClockTime mixerNextBlockTime(GstElement *mixer)
{
    if (!mixer || !G_TYPE_CHECK_INSTANCE_TYPE(mixer, tandra_mixer_get_type()))
        return 0;
    guint64 duration = 0;
    g_object_get(mixer, "output-buffer-duration", &duration, nullptr);
    GST_OBJECT_LOCK(mixer);
    const GstClockTime start = mixerOf(mixer)->blockTime;
    GST_OBJECT_UNLOCK(mixer);
    return GST_CLOCK_TIME_IS_VALID(start) ? start + duration : 0;
}
