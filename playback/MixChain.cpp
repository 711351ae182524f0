#include "MixChain.h"

#include "LimiterElement.h"

namespace {

constexpr int MixBlockMs = 100;
constexpr int OutputBlockMs = 40;

GstCaps *rawCaps(const QString &sampleFormat, const OutputFormat &format)
{
    return gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, qPrintable(sampleFormat), "layout",
                               G_TYPE_STRING, "interleaved", "rate", G_TYPE_INT, format.rate, "channels", G_TYPE_INT,
                               format.channels, nullptr);
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

MixChain &MixChain::operator=(MixChain &&other) noexcept
{
    if (this != &other) {
        if (mixCaps)
            gst_caps_unref(mixCaps);
        pipeline = std::move(other.pipeline);
        mixer = std::exchange(other.mixer, nullptr);
        mixCaps = std::exchange(other.mixCaps, nullptr);
        format = other.format;
    }
    return *this;
}

MixChain::~MixChain()
{
    if (mixCaps)
        gst_caps_unref(mixCaps);
}

std::optional<MixChain> MixChain::build(GstElement *output, const OutputFormat &asked)
{
    GstElementRef pipeline = adoptElement(gst_pipeline_new("tandra"));
    GstElement *mixer = gst_element_factory_make("audiomixer", nullptr);
    GstElement *mixFilter = gst_element_factory_make("capsfilter", "mix-format");
    GstElement *limiter = createLimiterElement();
    GstElement *convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement *outFilter = gst_element_factory_make("capsfilter", nullptr);
    if (!pipeline || !mixer || !mixFilter || !limiter || !convert || !outFilter || !output) {
        for (GstElement *e : {mixer, mixFilter, limiter, convert, outFilter, output})
            if (e)
                gst_object_unref(gst_object_ref_sink(e));
        return std::nullopt;
    }
    MixChain chain;
    chain.format = asked.isValid() ? asked : formatTakenBy(output);
    if (!chain.format.isValid())
        chain.format = defaultOutputFormat();
    chain.mixCaps = rawCaps(QStringLiteral("F32LE"), chain.format);
    GstCaps *outCaps = rawCaps(chain.format.sampleFormat, chain.format);
    g_object_set(mixFilter, "caps", chain.mixCaps, nullptr);
    g_object_set(outFilter, "caps", outCaps, nullptr);
    gst_caps_unref(outCaps);
    g_object_set(convert, "dithering", 0 /* none */, "noise-shaping", 0 /* none */, nullptr);
    // The mixer runs in blocks of 100 ms, the sound server takes 40 ms at a
    // time (10 and 10 by default): far fewer wake-ups for a player that needs
    // no low latency, while a new volume is still heard within a third of a
    // second.
    g_object_set(mixer, "output-buffer-duration", guint64(MixBlockMs * GST_MSECOND), nullptr);
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(output), "latency-time"))
        g_object_set(output, "latency-time", gint64(OutputBlockMs * 1000), nullptr);

    gst_bin_add_many(GST_BIN(pipeline.get()), mixer, mixFilter, limiter, convert, outFilter, output, nullptr);
    if (!gst_element_link_many(mixer, mixFilter, limiter, convert, outFilter, output, nullptr))
        return std::nullopt;
    chain.pipeline = std::move(pipeline);
    chain.mixer = mixer;
    return chain;
}
