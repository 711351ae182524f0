#include "SoundServerFormat.h"

#include "AppLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <dlfcn.h>

#include <functional>
#include <memory>

QString gstFormatOfPulse(int pulseFormat)
{
    switch (pulseFormat) {
    case PA_SAMPLE_U8: return QStringLiteral("U8");
    case PA_SAMPLE_S16LE: return QStringLiteral("S16LE");
    case PA_SAMPLE_S16BE: return QStringLiteral("S16BE");
    case PA_SAMPLE_FLOAT32LE: return QStringLiteral("F32LE");
    case PA_SAMPLE_FLOAT32BE: return QStringLiteral("F32BE");
    case PA_SAMPLE_S32LE: return QStringLiteral("S32LE");
    case PA_SAMPLE_S32BE: return QStringLiteral("S32BE");
    case PA_SAMPLE_S24LE: return QStringLiteral("S24LE");
    case PA_SAMPLE_S24BE: return QStringLiteral("S24BE");
    case PA_SAMPLE_S24_32LE: return QStringLiteral("S24_32LE");
    case PA_SAMPLE_S24_32BE: return QStringLiteral("S24_32BE");
    default: return {};
    }
}

namespace {

// The sound server's client library is opened on the first question, not
// linked: linked, it and the dozen libraries it needs would load with the
// window and slow every start-up. By the time a file is played, GStreamer's
// sound server output has it loaded anyway.
#define PULSE_FUNCTIONS(X)                                                                                             \
    X(mainloop_new) X(mainloop_get_api) X(mainloop_free) X(mainloop_prepare) X(mainloop_poll) X(mainloop_dispatch)     \
    X(context_new) X(context_connect) X(context_get_state) X(context_disconnect) X(context_unref)                     \
    X(context_get_sink_info_by_name) X(context_get_sink_info_list) X(operation_cancel) X(operation_unref)

struct PulseLibrary
{
#define DECLARE(name) decltype(&pa_##name) name = nullptr;
    PULSE_FUNCTIONS(DECLARE)
#undef DECLARE
    bool loaded = false;
};

const PulseLibrary &pulse()
{
    static const PulseLibrary library = [] {
        PulseLibrary l;
        void *handle = dlopen("libpulse.so.0", RTLD_LAZY | RTLD_LOCAL);
        if (!handle)
            return l;
        l.loaded = true;
#define RESOLVE(name)                                                                                                  \
    l.name = reinterpret_cast<decltype(l.name)>(dlsym(handle, "pa_" #name));                                           \
    l.loaded = l.loaded && l.name;
        PULSE_FUNCTIONS(RESOLVE)
#undef RESOLVE
        return l;
    }();
    return library;
}

struct MainloopFree
{
    void operator()(pa_mainloop *loop) const { pulse().mainloop_free(loop); }
};
struct ContextUnref
{
    void operator()(pa_context *context) const
    {
        pulse().context_disconnect(context);
        pulse().context_unref(context);
    }
};

// Connects to the sound server, asks one question once connected and runs
// the replies until `done` or timeoutMs.
void askSoundServer(int timeoutMs, const bool &done, const std::function<pa_operation *(pa_context *)> &ask)
{
    const PulseLibrary &pa = pulse();
    if (!pa.loaded)
        return;
    std::unique_ptr<pa_mainloop, MainloopFree> loop(pa.mainloop_new());
    if (!loop)
        return;
    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    std::unique_ptr<pa_context, ContextUnref> context(
        pa.context_new(pa.mainloop_get_api(loop.get()), name.isEmpty() ? "tandra" : name.constData()));
    // No autospawn: asking must never start a server of its own.
    if (!context || pa.context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return;

    pa_operation *operation = nullptr;
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < timeoutMs) {
        const pa_context_state_t state = pa.context_get_state(context.get());
        if (!PA_CONTEXT_IS_GOOD(state))
            break;
        if (state == PA_CONTEXT_READY && !operation)
            operation = ask(context.get());
        // Wakes at least every 20 ms to check the time left.
        if (pa.mainloop_prepare(loop.get(), 20 * 1000) < 0 || pa.mainloop_poll(loop.get()) < 0
            || pa.mainloop_dispatch(loop.get()) < 0)
            break;
    }
    if (operation) {
        pa.operation_cancel(operation);
        pa.operation_unref(operation);
    }
}

struct FormatQuery
{
    std::optional<OutputFormat> format;
    QString name;
    bool done = false;
};

void onSinkFormat(pa_context *, const pa_sink_info *info, int eol, void *data)
{
    auto *query = static_cast<FormatQuery *>(data);
    if (eol) {
        query->done = true;
        return;
    }
    const OutputFormat format{gstFormatOfPulse(info->sample_spec.format), int(info->sample_spec.rate),
                              int(info->sample_spec.channels)};
    if (format.isValid())
        query->format = format;
    query->name = QString::fromUtf8(info->name);
}

// A sink by its name; empty, the default one.
FormatQuery askSink(const QString &sinkName, int timeoutMs)
{
    const QByteArray sink = sinkName.isEmpty() ? QByteArrayLiteral("@DEFAULT_SINK@") : sinkName.toUtf8();
    FormatQuery query;
    askSoundServer(timeoutMs, query.done, [&](pa_context *context) {
        return pulse().context_get_sink_info_by_name(context, sink.constData(), onSinkFormat, &query);
    });
    return query;
}

struct OutputsQuery
{
    SoundServerOutputs outputs;
    bool done = false;
};

void onSinkListed(pa_context *, const pa_sink_info *info, int eol, void *data)
{
    auto *query = static_cast<OutputsQuery *>(data);
    if (eol) {
        query->done = true;
        return;
    }
    const QString name = QString::fromUtf8(info->name);
    const QString description = QString::fromUtf8(info->description);
    query->outputs << SoundServerOutput{name, description.isEmpty() ? name : description};
}

} // namespace

QString soundServerDefaultOutput(int timeoutMs)
{
    return askSink({}, timeoutMs).name;
}

std::optional<OutputFormat> soundServerFormat(const QString &sinkName, int timeoutMs)
{
    const FormatQuery query = askSink(sinkName, timeoutMs);
    if (!query.format)
        qCInfo(lcApp) << "the sound server told no output format";
    return query.format;
}

SoundServerOutputs soundServerOutputs(int timeoutMs)
{
    OutputsQuery query;
    askSoundServer(timeoutMs, query.done, [&](pa_context *context) {
        return pulse().context_get_sink_info_list(context, onSinkListed, &query);
    });
    // Half a list would pass for the whole.
    if (!query.done) {
        qCInfo(lcApp) << "the sound server listed no outputs";
        return {};
    }
    return query.outputs;
}
