#include "GstSetup.h"

#include <QCoreApplication>

#include <gst/gst.h>

#include <mutex>

void ensureGstInitialized()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gst_init(nullptr, nullptr);
        // Of the MP3 decoders at hand, libmpg123 takes less than half the
        // time of the fixed-point libav one, which would win on its name.
        if (GstElementFactory *mpg123 = gst_element_factory_find("mpg123audiodec")) {
            gst_plugin_feature_set_rank(GST_PLUGIN_FEATURE(mpg123), GST_RANK_PRIMARY);
            gst_object_unref(mpg123);
        }
        // The sound server shows the program's stream under this name.
        const QString name = QCoreApplication::applicationName();
        if (!name.isEmpty())
            g_set_application_name(qUtf8Printable(name));
    });
}
