#include "SynthPool.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QThreadPool>

#include <gst/gst.h>

#include <condition_variable>
#include <mutex>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcPlayback)

namespace synthpool {

namespace {

// One ready for each channel; they keep the samples cached between files.
constexpr int ReadyCount = 2;
// fluidsynth's own gain (0.2) leaves MIDI far quieter than recorded sound.
constexpr double MidiGain = 1.0;
const char *const GeneralMidiSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

struct Pool
{
    std::mutex mutex;
    std::condition_variable loaded;
    bool loading = false;
    std::vector<GstElement *> ready;
    std::vector<GstElement *> retired;
};

Pool &pool()
{
    static Pool *instance = new Pool; // kept until the process ends
    return *instance;
}

GstElement *makeSynth()
{
    GstElement *synth = gst_element_factory_make("fluiddec", nullptr);
    if (!synth)
        return nullptr;
    gst_object_ref_sink(synth);
    g_object_set(synth, "synth-gain", MidiGain, nullptr);
    if (QFileInfo::exists(QString::fromLatin1(GeneralMidiSoundFont)))
        g_object_set(synth, "soundfont", GeneralMidiSoundFont, nullptr);
    // The soundfont is loaded on the way to READY.
    if (gst_element_set_state(synth, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        qCWarning(lcPlayback) << "no soundfont could be loaded for MIDI";
        gst_element_set_state(synth, GST_STATE_NULL);
        gst_object_unref(synth);
        return nullptr;
    }
    return synth;
}

// Runs on a pool thread.
void load()
{
    Pool &p = pool();
    for (;;) {
        std::vector<GstElement *> retired;
        {
            std::lock_guard lock(p.mutex);
            retired.swap(p.retired);
            if (retired.empty() && int(p.ready.size()) >= ReadyCount) {
                p.loading = false;
                p.loaded.notify_all();
                return;
            }
        }
        for (GstElement *synth : retired) {
            gst_element_set_state(synth, GST_STATE_NULL);
            gst_object_unref(synth);
        }
        {
            std::lock_guard lock(p.mutex);
            if (int(p.ready.size()) >= ReadyCount)
                continue;
        }
        GstElement *synth = makeSynth();
        std::lock_guard lock(p.mutex);
        if (!synth) {
            p.loading = false;
            p.loaded.notify_all();
            return;
        }
        p.ready.push_back(synth);
        p.loaded.notify_all();
    }
}

} // namespace

bool isMidiFile(const QString &fileName)
{
    // Only regular files: opening a FIFO would wait for a writer.
    if (!QFileInfo(fileName).isFile())
        return false;
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "MThd";
}

void prepare()
{
    Pool &p = pool();
    {
        std::lock_guard lock(p.mutex);
        if (p.loading || (p.retired.empty() && int(p.ready.size()) >= ReadyCount))
            return;
        p.loading = true;
    }
    QThreadPool::globalInstance()->start(load);
}

GstElement *acquire()
{
    prepare();
    Pool &p = pool();
    std::unique_lock lock(p.mutex);
    p.loaded.wait(lock, [&] { return !p.ready.empty() || !p.loading; });
    GstElement *synth = nullptr;
    if (!p.ready.empty()) {
        synth = p.ready.back();
        p.ready.pop_back();
    }
    lock.unlock();
    prepare(); // one more for the next file
    return synth ? synth : makeSynth();
}

void retire(GstElement *synth)
{
    {
        Pool &p = pool();
        std::lock_guard lock(p.mutex);
        p.retired.push_back(synth);
    }
    prepare();
}

} // namespace synthpool
