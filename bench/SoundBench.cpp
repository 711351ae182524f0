#include "SoundBench.h"

#include "MediaFiles.h"
#include "PlayerDriver.h"
#include "SinkRecorder.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>

#include <cmath>
#include <cstdio>

namespace bench {

namespace {

constexpr double FileSeconds = 4;

QString written(const QString &path)
{
    if (path.isEmpty())
        qFatal("could not write a test file");
    return path;
}

QString noiseFile(const QString &path, double level, quint32 seed)
{
    QRandomGenerator random(seed);
    return written(testmedia::writeWav(path, FileSeconds,
                                       [&](int, int) { return level * (2 * random.generateDouble() - 1); }, SinkRate));
}

QString sineFile(const QString &path, double frequency)
{
    return written(testmedia::writeWav(path, SoundFiles::LoudSeconds, [&](int frame, int) {
        return 0.9 * std::sin(2 * M_PI * frequency * frame / SinkRate);
    }, SinkRate));
}

void startRecording(tones::SinkRecorder &recorder)
{
    if (!recorder.start())
        qFatal("no null sink (%s): run under scripts/with-test-env.sh", qPrintable(recorder.errorString()));
}

Samples toSamples(const std::vector<float> &sound)
{
    Samples samples;
    samples.reserve(sound.size());
    for (float x : sound)
        samples.push_back(qint32(std::lround(x * 32768)));
    return samples;
}

} // namespace

SoundFiles::SoundFiles(const QString &dir)
    : noise(noiseFile(QDir(dir).filePath(QStringLiteral("noise.wav")), 0.25, 7))
    , tones(written(testmedia::writeWav(QDir(dir).filePath(QStringLiteral("tones-44k.wav")), FileSeconds,
                                        [this](int frame, int channel) { return mix.at(double(frame) / OtherRate, channel); },
                                        OtherRate)))
    , quiet{noiseFile(QDir(dir).filePath(QStringLiteral("quiet1.wav")), 0.3, 8),
            noiseFile(QDir(dir).filePath(QStringLiteral("quiet2.wav")), 0.3, 9)}
    , loud{sineFile(QDir(dir).filePath(QStringLiteral("loud1.wav")), 440),
           sineFile(QDir(dir).filePath(QStringLiteral("loud2.wav")), 660)}
{
}

Samples playInProgram(const QString &program, const QStringList &files, double seconds)
{
    playerdriver::Player player(program);
    if (!player.start(files)) {
        std::fprintf(stderr, "  the program's window did not come\n");
        return {};
    }
    tones::SinkRecorder recorder(2);
    startRecording(recorder);
    // Time for the files on the command line to be opened.
    QTest::qWait(500);
    player.click(playerdriver::PlayButton);
    QTest::qWait(int(1000 * seconds) + 1500);
    player.click(playerdriver::StopButton);
    QTest::qWait(300);
    return toSamples(recorder.stop());
}

bool runToEnd(const QStringList &command, int timeoutMs)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(2000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

Samples playWithCommand(const QStringList &command, double seconds)
{
    tones::SinkRecorder recorder(2);
    startRecording(recorder);
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(command.first(), command.mid(1));
    if (!process.waitForStarted())
        qFatal("could not start %s", qPrintable(command.first()));
    if (!process.waitForFinished(int(1000 * seconds) + 15000)) {
        std::fprintf(stderr, "  %s did not end in time\n", qPrintable(command.first()));
        process.kill();
        process.waitForFinished(2000);
    }
    QTest::qWait(300);
    return toSamples(recorder.stop());
}

} // namespace bench
