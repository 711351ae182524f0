#include "SinkRecorder.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtDebug>
#include <QtEndian>

namespace tones {

// The null sink's own channels, always recorded as they are: sound servers
// mix stereo down to mono at different levels (PulseAudio halves the sum,
// PipeWire keeps the power), so the recorder does it itself.
constexpr int SinkChannels = 2;

struct SinkRecorder::Impl
{
    QProcess parec;
    int channels = 1;
    QStringList sinks; // recorded together, one channel each
    std::unique_ptr<QTemporaryDir> dir;
    QElapsedTimer clock;
    double clockOffset = 0; // seconds of audio already recorded when clock started
    double stoppedAt = 0;
    bool recording = false;
    QString error;

    QString rawPath() const { return dir->filePath(QStringLiteral("sink.raw")); }
    QString logPath() const { return dir->filePath(QStringLiteral("parec.log")); }

    // Channels in the file: the sink's own, or one for each sink recorded.
    int fileChannels() const { return sinks.isEmpty() ? SinkChannels : channels; }

    QString parecLog() const
    {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(log.readAll()).trimmed();
    }

    bool fail(const QString &why)
    {
        error = why;
        qWarning().noquote() << "SinkRecorder:" << why;
        if (parec.state() != QProcess::NotRunning) {
            parec.kill();
            parec.waitForFinished(3000);
        }
        dir.reset();
        return false;
    }
};

SinkRecorder::SinkRecorder(int channels)
    : d(std::make_unique<Impl>())
{
    d->channels = channels;
}

SinkRecorder::SinkRecorder(const QStringList &sinks)
    : d(std::make_unique<Impl>())
{
    d->channels = int(sinks.size());
    d->sinks = sinks;
}

SinkRecorder::~SinkRecorder()
{
    if (d->parec.state() != QProcess::NotRunning) {
        d->parec.kill();
        d->parec.waitForFinished(3000);
    }
}

bool SinkRecorder::start()
{
    // Two recordings into one mixer now and then fail to agree on their
    // format as they start; another start does.
    const int attempts = d->sinks.isEmpty() ? 1 : 3;
    for (int attempt = 1; attempt < attempts; ++attempt)
        if (startOnce())
            return true;
    return startOnce();
}

bool SinkRecorder::startOnce()
{
    if (d->recording)
        stop();
    d->error.clear();
    d->stoppedAt = 0;

    if (qEnvironmentVariable("PULSE_SERVER").isEmpty())
        return d->fail(QStringLiteral("PULSE_SERVER is not set; run the test under scripts/with-test-env.sh"));

    QProcess pactl;
    pactl.setProcessChannelMode(QProcess::MergedChannels);
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    if (!pactl.waitForFinished(3000)) {
        pactl.kill();
        pactl.waitForFinished(1000);
        return d->fail(QStringLiteral("the sound server at %1 does not answer (pactl: %2)")
                           .arg(qEnvironmentVariable("PULSE_SERVER"), pactl.errorString()));
    }
    if (pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0)
        return d->fail(QStringLiteral("the sound server at %1 does not answer: %2")
                           .arg(qEnvironmentVariable("PULSE_SERVER"),
                                QString::fromLocal8Bit(pactl.readAll()).trimmed()));

    d->dir = std::make_unique<QTemporaryDir>();
    if (!d->dir->isValid())
        return d->fail(QStringLiteral("cannot create a temporary directory: %1").arg(d->dir->errorString()));

    // parec writes straight into a file: a pipe would fill up whenever the
    // test blocks without an event loop, and parec would then drop audio.
    const QString sink = qEnvironmentVariable("TANDRA_NULL_SINK", QStringLiteral("tandra_null"));
    d->parec.setStandardOutputFile(d->rawPath());
    d->parec.setStandardErrorFile(d->logPath());
    if (d->sinks.isEmpty()) {
        d->parec.start(QStringLiteral("parec"),
                       {QStringLiteral("--device=%1.monitor").arg(sink), QStringLiteral("--format=s16le"),
                        QStringLiteral("--rate=%1").arg(SampleRate), QStringLiteral("--channels=%1").arg(SinkChannels),
                        QStringLiteral("--raw"), QStringLiteral("--latency-msec=20")});
    } else {
        // One pipeline, so one clock for all: what two sinks play at the
        // same instant lands on the same frame, to a few milliseconds. An
        // idle sink's monitor gives nothing, so each recording is stamped by
        // that clock as it comes, not by its count of samples, and the mixer
        // lays them side by side by those stamps.
        const QString format = QStringLiteral("audio/x-raw,format=S16LE,rate=%1,channels=").arg(SampleRate);
        QString pipeline = QStringLiteral("audiointerleave name=mix latency=100000000 ! %1%2 ! fdsink fd=1")
                               .arg(format)
                               .arg(d->channels);
        for (const QString &monitored : d->sinks)
            pipeline += QStringLiteral(" pulsesrc device=%1.monitor latency-time=5000 buffer-time=100000"
                                       " provide-clock=false slave-method=re-timestamp"
                                       " ! audioconvert ! audioresample ! %2 ! queue ! mix.")
                            .arg(monitored, format + QLatin1Char('1'));
        d->parec.start(QStringLiteral("gst-launch-1.0"), QStringList{QStringLiteral("-q")} + pipeline.split(u' '));
    }
    if (!d->parec.waitForStarted(3000))
        return d->fail(QStringLiteral("cannot run parec: %1").arg(d->parec.errorString()));

    // Tie the clock to the first audio that arrives rather than to the launch,
    // which takes a while and varies.
    QFileInfo raw(d->rawPath());
    raw.setCaching(false);
    const QDeadlineTimer deadline(3000);
    qint64 bytes = 0;
    while (!deadline.hasExpired()) {
        raw.refresh();
        bytes = raw.size();
        if (bytes > 0)
            break;
        if (d->parec.state() == QProcess::NotRunning)
            return d->fail(QStringLiteral("parec stopped: %1").arg(d->parecLog()));
        QThread::msleep(1);
    }
    if (bytes <= 0)
        return d->fail(QStringLiteral("no audio from %1 within 3 s: %2")
                           .arg(d->sinks.isEmpty() ? sink : d->sinks.join(u','), d->parecLog()));

    d->clock.start();
    d->clockOffset = double(bytes / 2 / d->fileChannels()) / SampleRate;
    d->recording = true;
    return true;
}

std::vector<float> SinkRecorder::stop()
{
    if (!d->recording)
        return {};
    d->stoppedAt = elapsedSeconds();
    d->recording = false;

    d->parec.terminate();
    if (!d->parec.waitForFinished(3000)) {
        d->parec.kill();
        d->parec.waitForFinished(3000);
    }

    std::vector<float> samples = soFar();
    d->dir.reset();
    // Short by more than parec's own buffering means the server dropped audio.
    const double recorded = double(samples.size() / std::size_t(d->channels)) / SampleRate;
    if (recorded < d->stoppedAt - 0.1)
        qWarning().noquote() << "SinkRecorder: recorded" << recorded << "s in" << d->stoppedAt << "s";
    return samples;
}

std::vector<float> SinkRecorder::soFar() const
{
    std::vector<float> samples;
    if (!d->dir)
        return samples;
    QFile raw(d->rawPath());
    if (!raw.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "SinkRecorder: cannot read the recording:" << raw.errorString();
        return samples;
    }
    const QByteArray bytes = raw.readAll();
    const auto sample = [&bytes](std::size_t i) {
        return float(qFromLittleEndian<qint16>(bytes.constData() + 2 * i)) / 32768.0f;
    };
    const std::size_t frames = std::size_t(bytes.size()) / 2 / d->fileChannels();
    samples.resize(frames * std::size_t(d->channels));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = d->channels == d->fileChannels() ? sample(i) : (sample(2 * i) + sample(2 * i + 1)) / 2;
    return samples;
}

double SinkRecorder::elapsedSeconds() const
{
    if (!d->recording)
        return d->stoppedAt;
    return d->clockOffset + double(d->clock.nsecsElapsed()) / 1e9;
}

bool SinkRecorder::isRecording() const
{
    return d->recording;
}

QString SinkRecorder::errorString() const
{
    return d->error;
}

} // namespace tones
