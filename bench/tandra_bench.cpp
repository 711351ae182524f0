// Measures the player as a user meets it: the real program under the test
// X server, clicked with xdotool, heard on the null sink.
//
//   tandra_bench start <program> <kind1> <kind2> [runs]
//     click-to-sound and start skew of both channels, median of the runs,
//     after Play and after Play-after-Pause. Kinds: wav mp3 wma dat avi mid.
#include "MediaFiles.h"
#include "PlayerDriver.h"
#include "SinkRecorder.h"
#include "ToneAnalysis.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gst/gst.h>

#include <algorithm>
#include <cstdio>

using testmedia::MediaKind;
using namespace playerdriver;

namespace {

constexpr int Rate = tones::SinkRecorder::SampleRate;

MediaKind kindNamed(const QString &name)
{
    for (MediaKind kind : {MediaKind::Wav, MediaKind::Mp3, MediaKind::Wma, MediaKind::DatCdxa, MediaKind::Avi,
                           MediaKind::Mid})
        if (testmedia::suffixFor(kind) == QLatin1Char('.') + name)
            return kind;
    qFatal("unknown kind %s", qPrintable(name));
}

// The file decoded alone, as fast as it goes.
std::vector<float> decodeAlone(const QString &path)
{
    gchar *uri = gst_filename_to_uri(QFile::encodeName(path).constData(), nullptr);
    const QString description = QStringLiteral("uridecodebin uri=%1 ! audioconvert ! audioresample"
                                               " ! audio/x-raw,format=F32LE,channels=1,rate=%2 ! appsink name=out sync=false")
                                    .arg(QString::fromUtf8(uri))
                                    .arg(Rate);
    g_free(uri);
    GstElement *pipeline = gst_parse_launch(description.toUtf8().constData(), nullptr);
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    std::vector<float> samples;
    while (GstSample *sample = [&] {
        GstSample *s = nullptr;
        g_signal_emit_by_name(sink, "pull-sample", &s);
        return s;
    }()) {
        GstMapInfo map;
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto *f = reinterpret_cast<const float *>(map.data);
            samples.insert(samples.end(), f, f + map.size / sizeof(float));
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return samples;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct StartFigures
{
    double clickToSoundMs = -1;
    double skewMs = -1;
    double resumeSkewMs = -1;
    int heard = 0;
    int runs = 0;
};

StartFigures measureStarts(const QString &program, MediaKind kind1, MediaKind kind2, int runs)
{
    QTemporaryDir dir;
    const double f1 = 440, f2 = 1000;
    const QString file1 = testmedia::makeToneFile(dir.path(), QStringLiteral("one") + testmedia::suffixFor(kind1), kind1, f1, 3);
    const QString file2 = testmedia::makeToneFile(dir.path(), QStringLiteral("two") + testmedia::suffixFor(kind2), kind2, f2, 3);
    const double sounding1 = testmedia::soundingFrequency(kind1, f1);
    const double sounding2 = testmedia::soundingFrequency(kind2, f2);
    // Each file's own lead-in (encoder delay, an instrument's attack).
    const double leadIn1 = tones::onsetSeconds(decodeAlone(file1), Rate, sounding1);
    const double leadIn2 = tones::onsetSeconds(decodeAlone(file2), Rate, sounding2);

    Player player(program);
    if (!player.start() || !player.choose(Channel1, file1) || !player.choose(Channel2, file2))
        qFatal("could not start %s with the files", qPrintable(program));
    tones::SinkRecorder recorder;
    if (!recorder.start())
        qFatal("no null sink: run under scripts/with-test-env.sh");
    QTest::qWait(300);
    struct Run { double play, pause, resume, stop; };
    std::vector<Run> times;
    for (int i = 0; i < runs; ++i) {
        Run t{};
        t.play = recorder.elapsedSeconds();
        player.click(PlayButton);
        QTest::qWait(700);
        t.pause = recorder.elapsedSeconds();
        player.click(PauseButton);
        QTest::qWait(400);
        t.resume = recorder.elapsedSeconds();
        player.click(PlayButton);
        QTest::qWait(500);
        t.stop = recorder.elapsedSeconds();
        player.click(StopButton);
        QTest::qWait(400);
        times.push_back(t);
    }
    const std::vector<float> sound = recorder.stop();
    auto window = [&](double from, double to) {
        const auto a = std::size_t(from * Rate), b = std::min(sound.size(), std::size_t(to * Rate));
        return std::vector<float>(sound.begin() + qsizetype(a), sound.begin() + qsizetype(std::max(a, b)));
    };
    StartFigures figures;
    figures.runs = runs;
    std::vector<double> toSound, skew, resumeSkew;
    for (const Run &t : times) {
        const auto started = window(t.play, t.pause);
        const double on1 = tones::onsetSeconds(started, Rate, sounding1) - leadIn1;
        const double on2 = tones::onsetSeconds(started, Rate, sounding2) - leadIn2;
        const auto resumed = window(t.resume, t.stop);
        const double re1 = tones::onsetSeconds(resumed, Rate, sounding1);
        const double re2 = tones::onsetSeconds(resumed, Rate, sounding2);
        if (on1 < -0.5 || on2 < -0.5)
            continue;
        ++figures.heard;
        toSound.push_back(1000 * std::max(on1, on2));
        skew.push_back(1000 * std::abs(on1 - on2));
        if (re1 >= 0 && re2 >= 0)
            resumeSkew.push_back(1000 * std::abs(re1 - re2));
        std::fprintf(stderr, "  run: onsets %.1f / %.1f ms, after resume %.1f / %.1f ms\n", 1000 * on1, 1000 * on2,
                     1000 * re1, 1000 * re2);
    }
    figures.clickToSoundMs = median(toSound);
    figures.skewMs = median(skew);
    figures.resumeSkewMs = median(resumeSkew);
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    gst_init(nullptr, nullptr);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("start") && args.size() >= 5) {
        const int runs = args.size() > 5 ? args[5].toInt() : 10;
        const StartFigures f = measureStarts(args[2], kindNamed(args[3]), kindNamed(args[4]), runs);
        std::printf("%s %s: click to sound %.0f ms, start skew %.1f ms, skew after resume %.1f ms (%d of %d heard)\n",
                    qPrintable(args[3]), qPrintable(args[4]), f.clickToSoundMs, f.skewMs, f.resumeSkewMs, f.heard,
                    f.runs);
        return 0;
    }
    std::fprintf(stderr, "usage: tandra_bench start <program> <kind1> <kind2> [runs]\n");
    return 2;
}
