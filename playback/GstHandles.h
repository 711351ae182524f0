#pragma once

#include <gst/gst.h>

#include <QString>

#include <memory>

// Owning handles for GStreamer objects, so that every way out frees them.
struct GstObjectUnref
{
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct GstMessageUnref
{
    void operator()(GstMessage *message) const { gst_message_unref(message); }
};

struct GstCapsUnref
{
    void operator()(GstCaps *caps) const { gst_caps_unref(caps); }
};

template <typename T> using GstRef = std::unique_ptr<T, GstObjectUnref>;
using GstElementRef = GstRef<GstElement>;
using GstPadRef = GstRef<GstPad>;
using GstBusRef = GstRef<GstBus>;
using GstMessageRef = std::unique_ptr<GstMessage, GstMessageUnref>;
using GstCapsRef = std::unique_ptr<GstCaps, GstCapsUnref>;

// Takes ownership of a new element, sinking its floating reference.
inline GstElementRef adoptElement(GstElement *element)
{
    return GstElementRef(element ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr);
}

// An error message's text and its details, for the log.
inline QString errorText(GstMessage *message)
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
