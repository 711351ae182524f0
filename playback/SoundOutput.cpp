#include "SoundOutput.h"

#include "GstHandles.h"
#include "SectorReader.h"

#include <QLoggingCategory>
#include <QMimeDatabase>

#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcPlayback)

namespace {

// A sound server sink in READY, connected; null when none answers.
GstElement *connectedServerSink(const QString &device = {})
{
    GstElement *sink = gst_element_factory_make("pulsesink", nullptr);
    if (sink && !device.isEmpty())
        g_object_set(sink, "device", device.toUtf8().constData(), nullptr);
    if (sink && gst_element_set_state(sink, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(sink, GST_STATE_NULL);
        gst_object_unref(gst_object_ref_sink(sink));
        sink = nullptr;
    }
    return sink;
}

bool holdsVideo(const QString &fileName)
{
    if (fileName.isEmpty())
        return false;
    if (SectorReader::findLayout(fileName).found)
        return true;
    return QMimeDatabase().mimeTypeForFile(fileName).name().startsWith(QLatin1String("video/"));
}

} // namespace

SoundOutput::SoundOutput(QString description, std::function<void(GstElement *)> created)
    : m_description(std::move(description))
    , m_created(std::move(created))
{
}

GstElement *SoundOutput::make(const QString &device)
{
    if (!m_description.isEmpty()) {
        GError *error = nullptr;
        GstElement *output = gst_parse_bin_from_description(m_description.toUtf8().constData(), TRUE, &error);
        if (error) {
            qCWarning(lcPlayback) << "sound output not built:" << error->message;
            g_clear_error(&error);
        }
        if (output && m_created)
            m_created(output);
        return output;
    }
    if (GstElement *sink = connectedServerSink(device)) {
        m_serverSeen = true;
        return sink;
    }
    return m_serverSeen ? nullptr : gst_element_factory_make("autoaudiosink", nullptr);
}

bool SoundOutput::answers() const
{
    if (!m_description.isEmpty())
        return true;
    GstElementRef sink(connectedServerSink());
    if (sink)
        gst_element_set_state(sink.get(), GST_STATE_NULL);
    return sink != nullptr;
}

void SoundOutput::describe(GstElement *output, const QStringList &fileNames)
{
    if (!output || !g_object_class_find_property(G_OBJECT_GET_CLASS(output), "stream-properties"))
        return;
    const bool video = std::any_of(fileNames.begin(), fileNames.end(), holdsVideo);
    GstStructure *properties = gst_structure_new("props", "media.role", G_TYPE_STRING, video ? "video" : "music",
                                                 "application.icon_name", G_TYPE_STRING, "tandra", nullptr);
    g_object_set(output, "stream-properties", properties, nullptr);
    gst_structure_free(properties);
}
