#include "OutputUnit.h"

#include "LimiterElement.h"
#include "MixerElement.h"

#include <algorithm>

namespace {

constexpr int MixBlockMs = 15;
constexpr int OutputBlockMs = 15;
constexpr int OutputBufferMs = 45;

GstCaps *rawCaps(const QString &sampleFormat, const OutputFormat &format)
{
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, qPrintable(sampleFormat), "layout",
                               G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, format.rate, "channels", G_TYPE_INT,
                               format.channels, nullptr);
}

bool hasProperty(GstElement *element, const char *name)
{
    return g_object_class_find_property(G_OBJECT_GET_CLASS(element), name) != nullptr;
}

} // namespace

OutputFormat formatTakenBy(GstElement *output)
{
    OutputFormat format;
    GstPadRef pad(gst_element_get_static_pad(output, "sink"));
    GstCaps *caps = pad ? gst_pad_query_caps(pad.get(), nullptr) : nullptr;
    if (caps && !gst_caps_is_any(caps) && !gst_caps_is_empty(caps)) {
        const GstStructure *s = gst_caps_get_structure(caps, 0);
        int rate = 0, channels = 0;
        const char *name = gst_structure_get_string(s, "format");
        if (gst_structure_has_name(s, "audio/x-raw") && name && gst_structure_get_int(s, "rate", &rate)
            && gst_structure_get_int(s, "channels", &channels))
            format = {QString::fromLatin1(name), rate, channels};
    }
    if (caps)
        gst_caps_unref(caps);
    return format;
}

std::unique_ptr<OutputUnit> OutputUnit::create(GstElement *pipeline, GstElement *output, const QString &device,
                                               const OutputFormat &asked)
{
    GstElement *mixer = createMixerElement();
    GstElement *mixFilter = gst_element_factory_make("capsfilter", nullptr);
    GstElement *limiter = createLimiterElement();
    GstElement *convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement *outFilter = gst_element_factory_make("capsfilter", nullptr);
    const std::vector<GstElement *> elements{mixer, mixFilter, limiter, convert, outFilter, output};
    if (std::find(elements.begin(), elements.end(), nullptr) != elements.end()) {
        for (GstElement *e : elements)
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return nullptr;
    }
    std::unique_ptr<OutputUnit> unit(new OutputUnit);
    unit->m_pipeline = pipeline;
    unit->m_device = device;
    unit->m_format = asked.isValid() ? asked : formatTakenBy(output);
    if (!unit->m_format.isValid())
        unit->m_format = defaultOutputFormat();
    unit->m_mixCaps.reset(rawCaps(QStringLiteral("F32LE"), unit->m_format));
    GstCaps *outCaps = rawCaps(unit->m_format.sampleFormat, unit->m_format);
    g_object_set(mixFilter, "caps", unit->m_mixCaps.get(), nullptr);
    g_object_set(outFilter, "caps", outCaps, nullptr);
    gst_caps_unref(outCaps);
    g_object_set(convert, "dithering", 0 /* none */, "noise-shaping", 0 /* none */, nullptr);
    // A new gain is heard after what the sound server holds (OutputBufferMs),
    // the block being handed on and the one it starts with: small blocks and
    // a short buffer keep that under 60 ms, at the cost of more wake-ups.
    g_object_set(mixer, "output-buffer-duration", guint64(MixBlockMs * GST_MSECOND), nullptr);
    // A mixer made while the others play starts where its first sound is,
    // not at the pipeline's start.
    gst_util_set_object_arg(G_OBJECT(mixer), "start-time-selection", "first");
    if (hasProperty(output, "latency-time"))
        g_object_set(output, "latency-time", gint64(OutputBlockMs * 1000), nullptr);
    if (hasProperty(output, "buffer-time"))
        g_object_set(output, "buffer-time", gint64(OutputBufferMs * 1000), nullptr);

    // Added, each is held by the pipeline until removed.
    for (GstElement *e : elements)
        gst_bin_add(GST_BIN(pipeline), e);
    unit->m_elements = elements;
    unit->m_mixer = mixer;
    unit->m_output = output;
    if (!gst_element_link_many(mixer, mixFilter, limiter, convert, outFilter, output, nullptr))
        return nullptr;
    return unit;
}

OutputUnit::~OutputUnit()
{
    for (GstElement *e : m_elements) {
        gst_element_set_locked_state(e, TRUE);
        gst_element_set_state(e, GST_STATE_NULL);
    }
    for (GstElement *e : m_elements)
        if (GST_OBJECT_PARENT(e) == GST_OBJECT(m_pipeline))
            gst_bin_remove(GST_BIN(m_pipeline), e);
}

bool OutputUnit::syncWithPipeline(bool playing)
{
    // Waiting to preroll would take the whole pipeline back to paused.
    if (playing && hasProperty(m_output, "async"))
        g_object_set(m_output, "async", FALSE, nullptr);
    bool ok = true;
    for (auto it = m_elements.rbegin(); it != m_elements.rend(); ++it)
        ok &= gst_element_sync_state_with_parent(*it) != FALSE;
    return ok;
}

void OutputUnit::setClockRole(bool provides)
{
    if (hasProperty(m_output, "provide-clock"))
        g_object_set(m_output, "provide-clock", gboolean(provides), nullptr);
    // Following another clock, its samples stay as they are: no resampling,
    // no jumps of the write position to chase it.
    if (!provides && hasProperty(m_output, "slave-method"))
        gst_util_set_object_arg(G_OBJECT(m_output), "slave-method", "none");
}

bool OutputUnit::contains(GstObject *object) const
{
    for (GstElement *e : m_elements)
        if (object == GST_OBJECT(e) || gst_object_has_as_ancestor(object, GST_OBJECT(e)))
            return true;
    return false;
}

bool OutputUnit::isGone() const
{
    if (m_device.isEmpty() || !hasProperty(m_output, "current-device"))
        return false;
    gchar *current = nullptr;
    g_object_get(m_output, "current-device", &current, nullptr);
    const bool moved = current && *current && m_device != QString::fromUtf8(current);
    g_free(current);
    return moved;
}
