#include "SoundServerFormat.h"

#include "AppLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

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

struct MainloopFree
{
    void operator()(pa_mainloop *loop) const { pa_mainloop_free(loop); }
};
struct ContextUnref
{
    void operator()(pa_context *context) const
    {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

struct Query
{
    std::optional<OutputFormat> format;
    bool done = false;
};

void onSinkInfo(pa_context *, const pa_sink_info *info, int eol, void *data)
{
    auto *query = static_cast<Query *>(data);
    if (eol) {
        query->done = true;
        return;
    }
    const OutputFormat format{gstFormatOfPulse(info->sample_spec.format), int(info->sample_spec.rate),
                              int(info->sample_spec.channels)};
    if (format.isValid())
        query->format = format;
}

} // namespace

std::optional<OutputFormat> soundServerFormat(int timeoutMs)
{
    std::unique_ptr<pa_mainloop, MainloopFree> loop(pa_mainloop_new());
    if (!loop)
        return std::nullopt;
    const QByteArray name = QCoreApplication::applicationName().toUtf8();
    std::unique_ptr<pa_context, ContextUnref> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), name.isEmpty() ? "tandra" : name.constData()));
    // No autospawn: asking must never start a server of its own.
    if (!context || pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return std::nullopt;

    Query query;
    pa_operation *operation = nullptr;
    QElapsedTimer clock;
    clock.start();
    while (!query.done && clock.elapsed() < timeoutMs) {
        const pa_context_state_t state = pa_context_get_state(context.get());
        if (!PA_CONTEXT_IS_GOOD(state))
            break;
        if (state == PA_CONTEXT_READY && !operation)
            operation = pa_context_get_sink_info_by_name(context.get(), "@DEFAULT_SINK@", onSinkInfo, &query);
        // Wakes at least every 20 ms to check the time left.
        if (pa_mainloop_prepare(loop.get(), 20 * 1000) < 0 || pa_mainloop_poll(loop.get()) < 0
            || pa_mainloop_dispatch(loop.get()) < 0)
            break;
    }
    if (operation) {
        pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
    if (!query.format)
        qCInfo(lcApp) << "the sound server told no output format";
    return query.format;
}
