#include "StartBench.h"

#include "PlayerDriver.h"
#include "SinkRecorder.h"
#include "ToneAnalysis.h"
#include "XTools.h"

#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>

using namespace playerdriver;

namespace bench {

namespace {

constexpr int Rate = tones::SinkRecorder::SampleRate;
constexpr std::array<double, 2> Frequencies{440, 1000};

// One tone file per channel, 440 Hz and 1000 Hz, far enough apart to be
// told apart in the mix.
struct TonePair
{
    QTemporaryDir dir;
    std::array<QString, 2> files;
    std::array<double, 2> sounding{};
    // Where each tone begins in both files mixed from their first samples,
    // as a player that starts them together would have them: the files' own
    // silence or attack before their tones, and what one tone's abrupt start
    // does to where the other's is found.
    std::array<double, 2> leadIn{};

    TonePair(MediaKind kind1, MediaKind kind2, double seconds)
    {
        const std::array<MediaKind, 2> kinds{kind1, kind2};
        const std::array<double, 2> &asked = Frequencies;
        std::vector<float> mix;
        for (int i = 0; i < 2; ++i) {
            const QString name = QStringLiteral("channel%1").arg(i + 1) + testmedia::suffixFor(kinds[i]);
            files[i] = testmedia::makeToneFile(dir.path(), name, kinds[i], asked[i], seconds);
            if (files[i].isEmpty())
                qFatal("could not make a %s file", testmedia::kindName(kinds[i]));
            sounding[i] = testmedia::soundingFrequency(kinds[i], asked[i]);
            // GStreamer alone reads a video CD's sectors headers and all,
            // which garbles its first sound; the same stream unwrapped is
            // what a player hears.
            const QString decoded = kinds[i] != MediaKind::DatCdxa
                                        ? files[i]
                                        : testmedia::makeToneFile(dir.path(), name + QStringLiteral(".mpg"),
                                                                  MediaKind::DatPlain, asked[i], seconds);
            const std::vector<float> alone = testmedia::decodeMono(decoded, Rate);
            mix.resize(std::max(mix.size(), alone.size()));
            std::transform(alone.begin(), alone.end(), mix.begin(), mix.begin(), std::plus<>());
        }
        for (int i = 0; i < 2; ++i)
            leadIn[i] = tones::onsetSeconds(mix, Rate, sounding[i]);
        std::fprintf(stderr, "  lead-ins %.1f / %.1f ms\n", 1000 * leadIn[0], 1000 * leadIn[1]);
    }

    // WAV tones after the same silence: where each lands on the sink tells
    // when its output started, whatever a sink does with its first
    // milliseconds.
    TonePair(double silence, double seconds)
    {
        for (int i = 0; i < 2; ++i) {
            const double frequency = sounding[i] = Frequencies[i];
            files[i] = testmedia::writeWav(dir.filePath(QStringLiteral("channel%1.wav").arg(i + 1)), seconds,
                                           [=](int frame, int) {
                                               const double t = double(frame) / Rate;
                                               return t < silence ? 0.0 : 0.4 * std::sin(2 * M_PI * frequency * t);
                                           });
            if (files[i].isEmpty())
                qFatal("could not write a tone file");
            leadIn[i] = silence;
        }
    }
};

// The recording in which each channel's tone is looked for: the one sink's
// for both, or each channel's own output's.
using Heard = std::array<std::vector<float>, 2>;

using Onsets = std::optional<std::array<double, 2>>;

// [from, to) of a recording, in seconds, within it.
std::vector<float> stretchOf(const std::vector<float> &sound, double from, double to)
{
    const auto a = std::min(sound.size(), std::size_t(std::max(0.0, from) * Rate));
    const auto b = std::min(sound.size(), std::size_t(std::max({0.0, from, to}) * Rate));
    return {sound.begin() + qsizetype(a), sound.begin() + qsizetype(b)};
}

// When each channel's tone began in [from, to) of the recording, in seconds
// after `from`; nothing unless both were heard.
Onsets onsets(const Heard &heard, double from, double to, const TonePair &pair, bool lessLeadIn)
{
    std::array<double, 2> found{};
    bool both = true;
    for (int i = 0; i < 2; ++i) {
        const double at = tones::onsetSeconds(stretchOf(heard[i], from, to), Rate, pair.sounding[i]);
        if (at < 0) {
            std::fprintf(stderr, "  channel %d not heard\n", i + 1);
            both = false;
        }
        found[i] = at - (lessLeadIn ? pair.leadIn[i] : 0);
    }
    return both ? Onsets(found) : std::nullopt;
}

// Whether neither tone sounded (each in its recording) in the 100 ms before `at`: a start measured
// from a click is only a start after silence.
bool silentBefore(const Heard &heard, double at, const TonePair &pair)
{
    for (int i = 0; i < 2; ++i)
        if (tones::findTones(stretchOf(heard[i], at - 0.1, at), Rate, {pair.sounding[i]})[0].present)
            return false;
    return true;
}

// Clicks a button and says when, on the recording's clock.
double clickAt(Player &player, QPoint button, const tones::SinkRecorder &recorder)
{
    static Clicker clicker;
    clicker.moveTo(player.onScreen(QRect(button, QSize(1, 1))).topLeft());
    // Hovering first, as a hand does.
    QTest::qWait(50);
    clicker.click();
    return recorder.elapsedSeconds();
}

void startRecording(tones::SinkRecorder &recorder)
{
    if (!recorder.start())
        qFatal("no null sink (%s): run under scripts/with-test-env.sh", qPrintable(recorder.errorString()));
}

// False, having said why, when the window did not come or a dialog stayed open.
bool startWithFiles(Player &player, const TonePair &pair)
{
    if (!player.start()) {
        std::fprintf(stderr, "  the program's window did not come\n");
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        if (!player.choose(i == 0 ? Channel1 : Channel2, pair.files[i])) {
            std::fprintf(stderr, "  channel %d's dialog did not take the file\n", i + 1);
            return false;
        }
    }
    return true;
}

} // namespace

const std::vector<MediaKind> &allKinds()
{
    static const std::vector<MediaKind> kinds{MediaKind::Wav, MediaKind::Mp3,     MediaKind::Wma,
                                              MediaKind::DatCdxa, MediaKind::Avi, MediaKind::Mid};
    return kinds;
}

QString kindLabel(MediaKind kind)
{
    return testmedia::suffixFor(kind).mid(1);
}

MediaKind kindNamed(const QString &name)
{
    for (MediaKind kind : allKinds())
        if (kindLabel(kind) == name)
            return kind;
    qFatal("unknown kind %s (wav mp3 wma dat avi mid)", qPrintable(name));
}

double median(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

namespace {

struct Run
{
    double play, pause, resume, stop;
};

// Play, Pause, Play, Stop, `runs` times: each click's time on the recording's clock.
std::vector<Run> playPausePlayStop(Player &player, const tones::SinkRecorder &recorder, int runs, int playingMs)
{
    std::vector<Run> times;
    for (int i = 0; i < runs; ++i) {
        Run t{};
        t.play = clickAt(player, PlayButton, recorder);
        QTest::qWait(playingMs);
        t.pause = clickAt(player, PauseButton, recorder);
        QTest::qWait(400);
        t.resume = clickAt(player, PlayButton, recorder);
        QTest::qWait(500);
        t.stop = clickAt(player, StopButton, recorder);
        QTest::qWait(400);
        times.push_back(t);
    }
    return times;
}

StartFigures figuresOf(const Heard &heard, const std::vector<Run> &times, const TonePair &pair)
{
    StartFigures figures;
    figures.runs = int(times.size());
    std::vector<double> toSound, skew, resumeSkew;
    for (const Run &t : times) {
        Onsets started = onsets(heard, t.play, t.pause, pair, true);
        Onsets resumed = onsets(heard, t.resume, t.stop, pair, false);
        if (!silentBefore(heard, t.play, pair)) {
            std::fprintf(stderr, "  sounding before Play: not counted\n");
            started.reset();
        }
        if (!silentBefore(heard, t.resume, pair)) {
            std::fprintf(stderr, "  sounding before the resuming Play: not counted\n");
            resumed.reset();
        }
        if (!started)
            continue;
        const auto [on1, on2] = *started;
        ++figures.heard;
        toSound.push_back(1000 * std::max(on1, on2));
        skew.push_back(1000 * std::abs(on1 - on2));
        if (resumed)
            resumeSkew.push_back(1000 * std::abs((*resumed)[0] - (*resumed)[1]));
        std::fprintf(stderr, "  onsets %.1f / %.1f ms, after resume %.1f / %.1f ms\n", 1000 * on1, 1000 * on2,
                     resumed ? 1000 * (*resumed)[0] : -1., resumed ? 1000 * (*resumed)[1] : -1.);
    }
    figures.clickToSoundMs = median(toSound);
    figures.skewMs = median(skew);
    figures.worstSkewMs = skew.empty() ? -1 : *std::max_element(skew.begin(), skew.end());
    figures.resumeSkewMs = median(resumeSkew);
    return figures;
}

std::vector<float> channelOf(const std::vector<float> &interleaved, int channels, int channel)
{
    std::vector<float> mono(interleaved.size() / std::size_t(channels));
    for (std::size_t i = 0; i < mono.size(); ++i)
        mono[i] = interleaved[std::size_t(channels) * i + std::size_t(channel)];
    return mono;
}

// When a channel's tone crossed half its level in the `span` seconds after
// `at`, rising from silence or falling to it, in seconds after `at`; -1 when
// it was not so before and after (nothing changed).
double changeAfter(const std::vector<float> &sound, double frequency, double at, double span, bool rising)
{
    const auto heardIn = [&](double from, double to) {
        return tones::findTones(stretchOf(sound, from, to), Rate, {frequency})[0].present;
    };
    if (heardIn(at - 0.1, at) == rising || heardIn(at + span - 0.1, at + span) != rising)
        return -1;
    std::vector<float> stretch = stretchOf(sound, at, at + span);
    if (rising)
        return tones::onsetSeconds(stretch, Rate, frequency);
    // A fall is a rise with time running backwards.
    std::reverse(stretch.begin(), stretch.end());
    const double rise = tones::onsetSeconds(stretch, Rate, frequency);
    return rise < 0 ? -1 : double(stretch.size()) / Rate - rise;
}

ChangeFigures changeFiguresOf(const std::vector<double> &delays)
{
    ChangeFigures figures;
    figures.runs = int(delays.size());
    std::vector<double> heard;
    for (double d : delays)
        if (d >= 0)
            heard.push_back(1000 * d);
    figures.heard = int(heard.size());
    figures.medianMs = median(heard);
    figures.worstMs = heard.empty() ? -1 : *std::max_element(heard.begin(), heard.end());
    return figures;
}

} // namespace

StartFigures measureStarts(const QString &program, MediaKind kind1, MediaKind kind2, int runs)
{
    const TonePair pair(kind1, kind2, 3);
    tones::SinkRecorder recorder;
    startRecording(recorder);
    Player player(program);
    if (!startWithFiles(player, pair))
        return {.runs = runs};
    QTest::qWait(300);

    // Long enough for the slowest start seen, the old program's MIDI (0.8 s).
    const bool midi = kind1 == MediaKind::Mid || kind2 == MediaKind::Mid;
    const std::vector<Run> times = playPausePlayStop(player, recorder, runs, midi ? 1500 : 700);
    const std::vector<float> sound = recorder.stop();
    return figuresOf({sound, sound}, times, pair);
}

StartFigures measureOutputSkew(const QString &program, const QStringList &recorded, const QString &secondOutput,
                               int runs)
{
    const TonePair pair(LeadInSeconds, 3);
    QStringList arguments{pair.files[0], pair.files[1]};
    if (!secondOutput.isEmpty())
        arguments << QStringLiteral("--output2") << secondOutput;
    tones::SinkRecorder recorder(recorded);
    startRecording(recorder);
    Player player(program);
    if (!player.start(arguments)) {
        std::fprintf(stderr, "  the program's window did not come\n");
        return {.runs = runs};
    }
    // Time for the files on the command line to be opened.
    QTest::qWait(500);
    const std::vector<Run> times = playPausePlayStop(player, recorder, runs, 700);
    const std::vector<float> sound = recorder.stop();
    const int channels = int(recorded.size());
    return figuresOf({channelOf(sound, channels, 0), channelOf(sound, channels, channels - 1)}, times, pair);
}

FirstPlayFigures measureFirstPlay(const QString &program, MediaKind kind1, MediaKind kind2, int starts)
{
    const TonePair pair(kind1, kind2, 5);
    FirstPlayFigures figures;
    figures.starts = starts;
    std::vector<double> toSound;
    for (int i = 0; i < starts; ++i) {
        tones::SinkRecorder recorder;
        startRecording(recorder);
        Player player(program);
        if (!startWithFiles(player, pair))
            continue;
        // The click comes as soon as the second dialog has gone, sooner
        // than a hand could make it.
        const double play = clickAt(player, PlayButton, recorder);
        QTest::qWait(3000);
        const std::vector<float> sound = recorder.stop();
        const Heard heard{sound, sound};
        const Onsets started = onsets(heard, play, play + 3, pair, true);
        if (!started || !silentBefore(heard, play, pair))
            continue;
        ++figures.heard;
        toSound.push_back(1000 * std::max((*started)[0], (*started)[1]));
        std::fprintf(stderr, "  first play: onsets %.0f / %.0f ms\n", 1000 * (*started)[0], 1000 * (*started)[1]);
    }
    figures.medianMs = median(toSound);
    figures.worstMs = toSound.empty() ? -1 : *std::max_element(toSound.begin(), toSound.end());
    return figures;
}

KeyToSoundFigures measureKeyToSound(const QString &program, int runs)
{
    constexpr double StepSpan = 0.5, SwitchSpan = 0.4; // seconds from one event to the next
    const TonePair pair(LeadInSeconds, 10 + runs * (StepSpan + SwitchSpan));
    tones::SinkRecorder recorder;
    startRecording(recorder);
    Player player(program);
    if (!player.start({pair.files[0], pair.files[1]})) {
        std::fprintf(stderr, "  the program's window did not come\n");
        return {{.runs = runs}, {.runs = runs}};
    }
    QTest::qWait(500);
    static Clicker input;
    clickAt(player, PlayButton, recorder);
    QTest::qWait(700);

    // Channel 1 to 0 and back: 5 % a notch.
    input.moveTo(player.onScreen(QRect(Channel1, QSize(1, 1))).topLeft());
    QTest::qWait(100);
    std::vector<std::pair<double, bool>> steps; // when, and whether up
    for (int i = 0; i < runs; ++i) {
        const bool up = i % 2;
        input.turnWheel(up ? 20 : -20);
        steps.emplace_back(recorder.elapsedSeconds(), up);
        QTest::qWait(int(1000 * StepSpan));
    }
    // With no window manager nobody gives the window the keyboard.
    run({QStringLiteral("windowfocus"), QStringLiteral("--sync"),
         run({QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^Tandra$")}).section('\n', 0, 0)});
    QTest::qWait(100);
    std::vector<std::pair<double, char>> switches; // when, and which key
    for (int i = 0; i < runs; ++i) {
        const char key = "120"[i % 3];
        input.pressKey(static_cast<unsigned char>(key)); // the keysyms of digits are their characters
        switches.emplace_back(recorder.elapsedSeconds(), key);
        QTest::qWait(int(1000 * SwitchSpan));
    }
    const std::vector<float> sound = recorder.stop();

    std::vector<double> stepDelays, switchDelays;
    for (const auto &[at, up] : steps)
        stepDelays.push_back(changeAfter(sound, pair.sounding[0], at, StepSpan, up));
    // 1: channel 2 goes; 2: channel 1 goes and channel 2 comes; 0: channel 1 comes.
    for (const auto &[at, key] : switches) {
        double heard = -1;
        if (key == '1')
            heard = changeAfter(sound, pair.sounding[1], at, SwitchSpan, false);
        else if (key == '0')
            heard = changeAfter(sound, pair.sounding[0], at, SwitchSpan, true);
        else {
            const double goes = changeAfter(sound, pair.sounding[0], at, SwitchSpan, false);
            const double comes = changeAfter(sound, pair.sounding[1], at, SwitchSpan, true);
            heard = goes < 0 || comes < 0 ? -1 : std::max(goes, comes);
        }
        switchDelays.push_back(heard);
    }
    for (const auto &[what, delays] : {std::pair{"volume step", &stepDelays}, std::pair{"solo switch", &switchDelays}})
        for (double d : *delays)
            if (d < 0)
                std::fprintf(stderr, "  %s: no change heard\n", what);
            else
                std::fprintf(stderr, "  %s heard after %.1f ms\n", what, 1000 * d);
    return {changeFiguresOf(stepDelays), changeFiguresOf(switchDelays)};
}

} // namespace bench
