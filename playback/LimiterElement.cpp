#include "LimiterElement.h"

#include "PeakLimiter.h"

#include <gst/audio/gstaudiofilter.h>

#include <memory>
#include <mutex>

namespace {

struct TandraLimiter
{
    GstAudioFilter parent;
    std::unique_ptr<PeakLimiter> *limiter; // set up with the format; guarded by the stream lock
};

struct TandraLimiterClass
{
    GstAudioFilterClass parent;
};

GType tandra_limiter_get_type();
G_DEFINE_TYPE(TandraLimiter, tandra_limiter, GST_TYPE_AUDIO_FILTER)

TandraLimiter *self(gpointer object) { return reinterpret_cast<TandraLimiter *>(object); }

gboolean setup(GstAudioFilter *filter, const GstAudioInfo *info)
{
    PeakLimiter::Settings settings;
    settings.rate = GST_AUDIO_INFO_RATE(info);
    settings.channels = GST_AUDIO_INFO_CHANNELS(info);
    *self(filter)->limiter = std::make_unique<PeakLimiter>(settings);
    return TRUE;
}

GstFlowReturn transformInPlace(GstBaseTransform *transform, GstBuffer *buffer)
{
    PeakLimiter *limiter = self(transform)->limiter->get();
    if (!limiter)
        return GST_FLOW_NOT_NEGOTIATED;
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READWRITE))
        return GST_FLOW_ERROR;
    const GstAudioInfo &info = GST_AUDIO_FILTER(transform)->info;
    limiter->process(reinterpret_cast<float *>(map.data), map.size / GST_AUDIO_INFO_BPF(&info));
    gst_buffer_unmap(buffer, &map);
    return GST_FLOW_OK;
}

gboolean sinkEvent(GstBaseTransform *transform, GstEvent *event)
{
    // After a seek the sound before it must not come out.
    if (GST_EVENT_TYPE(event) == GST_EVENT_FLUSH_STOP)
        if (PeakLimiter *limiter = self(transform)->limiter->get())
            limiter->reset();
    return GST_BASE_TRANSFORM_CLASS(tandra_limiter_parent_class)->sink_event(transform, event);
}

void finalize(GObject *object)
{
    delete self(object)->limiter;
    G_OBJECT_CLASS(tandra_limiter_parent_class)->finalize(object);
}

void tandra_limiter_class_init(TandraLimiterClass *klass)
{
    G_OBJECT_CLASS(klass)->finalize = finalize;
    auto *elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(elementClass, "Tandra peak limiter", "Filter/Effect/Audio",
                                          "Keeps the mix under full scale, exact below it", "Tandra");
    GstCaps *caps = gst_caps_from_string("audio/x-raw,format=F32LE,layout=interleaved,"
                                         "rate=[1,2147483647],channels=[1,64]");
    gst_audio_filter_class_add_pad_templates(GST_AUDIO_FILTER_CLASS(klass), caps);
    gst_caps_unref(caps);
    GST_AUDIO_FILTER_CLASS(klass)->setup = setup;
    auto *transformClass = GST_BASE_TRANSFORM_CLASS(klass);
    transformClass->transform_ip = transformInPlace;
    transformClass->sink_event = sinkEvent;
}

void tandra_limiter_init(TandraLimiter *limiter) { limiter->limiter = new std::unique_ptr<PeakLimiter>(); }

} // namespace

GstElement *createLimiterElement()
{
    return GST_ELEMENT(g_object_new(tandra_limiter_get_type(), nullptr));
}
