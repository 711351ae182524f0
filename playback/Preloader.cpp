#include "Preloader.h"

#include "SectorReader.h"
#include "SynthPool.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

namespace {

void loadFactories(std::initializer_list<const char *> names)
{
    for (const char *name : names)
        if (GstElementFactory *factory = gst_element_factory_find(name)) {
            if (GstPluginFeature *loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(factory)))
                gst_object_unref(loaded);
            gst_object_unref(factory);
        }
}

// Long enough for a slow disk, short enough that a hostile file costs little.
constexpr GstClockTime DiscoverTimeout = 3 * GST_SECOND;

} // namespace

Preloader::~Preloader()
{
    std::lock_guard lock(m_mutex);
    for (auto &work : m_work)
        work.wait();
}

void Preloader::prepareFile(const QString &fileName, std::function<void()> coreLoaded)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_work, [](const std::future<void> &work) {
        return work.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    const QString type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchContent).name();
    const bool newType = !m_typesLoaded.contains(type);
    if (!newType && m_coreLoaded && !coreLoaded)
        return;
    m_typesLoaded.insert(type);
    m_coreLoaded = true;
    m_work.push_back(std::async(std::launch::async, [fileName, newType, coreLoaded = std::move(coreLoaded)] {
        loadCore();
        if (coreLoaded)
            coreLoaded();
        if (newType)
            loadForFile(fileName);
    }));
}

void Preloader::loadCore()
{
    loadFactories({"uridecodebin", "decodebin", "typefind", "filesrc", "queue", "multiqueue", "audioconvert",
                   "audioresample", "capsfilter", "pulsesink"});
}

void Preloader::loadForFile(const QString &fileName)
{
    const QFileInfo file(fileName);
    if (!file.isFile() || !file.isReadable() || file.size() == 0)
        return;
    if (synthpool::isMidiFile(fileName)) {
        loadFactories({"midiparse"});
        return;
    }
    // A video CD's sectors reach the decoder unwrapped, through our own source.
    if (SectorReader::findLayout(fileName).found) {
        loadFactories({"mpegpsdemux", "mpegaudioparse", "mpg123audiodec", "mpegvideoparse", "mpeg2dec",
                       "avdec_mpeg2video", "videoconvert", "videoscale"});
        return;
    }
    GError *error = nullptr;
    GstDiscoverer *discoverer = gst_discoverer_new(DiscoverTimeout, &error);
    g_clear_error(&error);
    if (!discoverer)
        return;
    gchar *uri = gst_filename_to_uri(QFile::encodeName(file.absoluteFilePath()).constData(), nullptr);
    if (uri) {
        // What it finds matters less than what it loads on the way.
        if (GstDiscovererInfo *info = gst_discoverer_discover_uri(discoverer, uri, &error))
            g_object_unref(info);
        g_clear_error(&error);
        g_free(uri);
    }
    g_object_unref(discoverer);
}
