// Measures the player as a user meets it: the real program under the test
// X server, clicked with xdotool, heard on the null sink. Run everything
// under scripts/with-test-env.sh; bench/run.sh does it all.
//
//   tandra_bench report --new <program> --old <program> --bare <program> [--quick] [--runs N]
//     every figure below, each beside its peer and target, as Markdown tables
//   tandra_bench start <program> <kind1> <kind2> [runs]
//     click to sound and start skew of both channels, median of the runs,
//     after Play and after Pause then Play. Kinds: wav mp3 wma dat avi mid.
//   tandra_bench first <program> <kind1> <kind2> [starts]
//     click to sound of the first Play, the program started afresh each time
//   tandra_bench sound <program>
//     what the sink receives against the files: one alone, two quiet, two
//     loud; beside gst-launch-1.0 playbin, sox -m and ffmpeg's amix
//   tandra_bench use <program> [rounds]
//     processor time playing two pairs of MP3s, taking turns with sox -m
//     (the sound server's beside it), and each thread's share
//   tandra_bench outputs <program> [runs]
//     start skew with channel 2 on a second null sink (--output2), median
//     and worst of the runs, beside both channels on the default sink
//   tandra_bench outputs-use <program> [rounds]
//     processor time with two outputs beside one, taking turns
//   tandra_bench keys <program> [runs]
//     key to sound: volume steps of the wheel and solo switches (keys 1, 2,
//     0), each from the event to the change heard, median and worst
//   tandra_bench startup <program> <window title> [runs]
//     process start to the window mapped, taking turns with the bare windows
//     built beside this benchmark
#include "ProcessBench.h"
#include "SoundBench.h"
#include "StartBench.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>

#include <unistd.h>

using namespace bench;
using testmedia::readWav16;

namespace {

constexpr int PlayingSeconds = 20;
constexpr int UseRoundCount = 3; // of this program and sox -m taking turns
constexpr double StartUpLimit = 1.7; // times the bare window
constexpr int StartUpRuns = 11;
constexpr double IdleLimitMiB = 45;
constexpr double KeyToSoundLimitMs = 60;

const QString SecondSink = QStringLiteral("tandra_bench_second"); // added for the rows of two outputs
const QString BareTitle = QStringLiteral("Tandra-bare");
const QString ProgramTitle = QStringLiteral("Tandra");

void progress(const QString &what)
{
    std::fprintf(stderr, "bench: %s\n", qPrintable(what));
    std::fflush(stderr);
}

void line(const QString &text = {})
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

// A figure in ms, or a dash when there was nothing to measure.
QString ms(double value, int decimals = 0)
{
    return value < 0 ? QStringLiteral("—") : QString::number(value, 'f', decimals);
}

// The figure with a tick when it meets its target (at most `limit`), judged
// as printed: the figures are good to a millisecond or so, no finer.
QString against(double value, double limit, int decimals = 0)
{
    if (value < 0)
        return ms(value) + QStringLiteral(" ✗");
    const QString shown = ms(value, decimals);
    return shown + (shown.toDouble() <= limit ? QStringLiteral(" ✓") : QStringLiteral(" ✗"));
}

QString pairLabel(MediaKind kind1, MediaKind kind2)
{
    return kindLabel(kind1) + QLatin1Char('+') + kindLabel(kind2);
}

QString heardNote(int heard, int of)
{
    return heard < of ? QStringLiteral(" (%1 of %2 heard)").arg(heard).arg(of) : QString();
}

QString mib(qint64 kib)
{
    return kib < 0 ? QStringLiteral("—") : QString::number(double(kib) / 1024, 'f', 1);
}

struct Programs
{
    QString current, old, bare;
};

using Pair = std::pair<MediaKind, MediaKind>;

// Every pair of kinds, or (quick) each kind with itself plus wav+mp3 and mp3+mid.
std::vector<Pair> pairsToMeasure(bool quick)
{
    const std::vector<MediaKind> &kinds = allKinds();
    std::vector<Pair> pairs;
    for (std::size_t i = 0; i < kinds.size(); ++i)
        for (std::size_t j = i; j < kinds.size(); ++j)
            if (!quick || i == j)
                pairs.emplace_back(kinds[i], kinds[j]);
    if (quick) {
        pairs.emplace_back(MediaKind::Wav, MediaKind::Mp3);
        pairs.emplace_back(MediaKind::Mp3, MediaKind::Mid);
    }
    return pairs;
}

void reportStartUp(const Programs &programs, int runs)
{
    progress(QStringLiteral("start-up to window mapped"));
    const std::vector<StartUpFigures> f =
        measureStartUps({{programs.bare, BareTitle},
                         {programs.bare + QStringLiteral("_menu"), BareTitle},
                         {programs.current, ProgramTitle},
                         {programs.old, ProgramTitle}},
                        runs);
    const StartUpFigures &bare = f[0], &bareMenu = f[1], &current = f[2], &old = f[3];
    const double limit = StartUpLimit * bare.medianMs;
    auto size = [](QSize s) { return QStringLiteral("%1×%2").arg(s.width()).arg(s.height()); };
    line(QStringLiteral("### Start-up to the window mapped, ms (median of %1 starts taking turns, after one that warms the caches)").arg(runs));
    line();
    line(QStringLiteral("| window | ms | × bare | target |"));
    line(QStringLiteral("|---|---|---|---|"));
    line(QStringLiteral("| this program (%1) | %2 | %3 | ≤ %4 × bare = %5 ms |")
             .arg(size(current.windowSize), against(current.medianMs, limit),
                  QString::number(current.medianMs / bare.medianMs, 'f', 2), QString::number(StartUpLimit),
                  ms(limit)));
    line(QStringLiteral("| old program (%1) | %2 | %3 | |")
             .arg(size(old.windowSize), ms(old.medianMs), QString::number(old.medianMs / bare.medianMs, 'f', 2)));
    line(QStringLiteral("| bare Qt window (%1) | %2 | 1.00 | |").arg(size(bare.windowSize), ms(bare.medianMs)));
    line(QStringLiteral("| the same with a menu bar of two Arabic menus | %1 | %2 | |")
             .arg(ms(bareMenu.medianMs), QString::number(bareMenu.medianMs / bare.medianMs, 'f', 2)));
    line();
}

QString percent(double share)
{
    return share == 1 ? QStringLiteral("100 %") : QStringLiteral("%1 %").arg(100 * share, 0, 'f', 3);
}

// A share of samples, with the tick when all were equal.
QString equalShare(const Fidelity &f, bool judged)
{
    if (!f.aligned)
        return QStringLiteral("— (nothing heard to align)") + (judged ? QStringLiteral(" ✗") : QString());
    QString text = percent(f.equalShare);
    if (judged)
        text += f.equalShare == 1 ? QStringLiteral(" ✓") : QStringLiteral(" ✗");
    if (f.silentStart > 0)
        text += QStringLiteral(": its first %1 ms silent, %2 of the samples after them equal")
                    .arg(1000.0 * double(f.silentStart) / SinkRate, 0, 'f', 1)
                    .arg(percent(f.equalShareAfter));
    else if (f.equalShare < 1)
        text += QStringLiteral(" (difference %1 dB below, gain %2)")
                    .arg(f.differenceDb, 0, 'f', 1)
                    .arg(f.gain, 0, 'f', 4);
    return text;
}

QString difference(const Fidelity &f)
{
    if (!f.aligned)
        return QStringLiteral("— (nothing heard to align)");
    return QStringLiteral("%1 dB below (gain %2)").arg(f.differenceDb, 0, 'f', 1).arg(f.gain, 0, 'f', 4);
}

QString fullScale(const Loudness &l, bool judged)
{
    if (std::isinf(l.peakDbfs))
        return QStringLiteral("— (nothing heard)") + (judged ? QStringLiteral(" ✗") : QString());
    return QString::number(l.fullScale) + (!judged ? QString() : l.fullScale == 0 ? QStringLiteral(" ✓") : QStringLiteral(" ✗"));
}

void reportSound(const QString &program)
{
    QTemporaryDir dir;
    const SoundFiles files(dir.path());
    const auto playbin = [](const QString &file) {
        return QStringList{QStringLiteral("gst-launch-1.0"), QStringLiteral("-q"), QStringLiteral("playbin"),
                           QStringLiteral("uri=file://") + file};
    };
    constexpr int Compared = 2 * SinkRate; // frames
    const double seconds = 4;

    progress(QStringLiteral("sound: one file alone, at the sink's rate"));
    const Samples noise = readWav16(files.noise);
    const Fidelity alone = compareExact(playInProgram(program, {files.noise}, seconds), noise, Compared);
    const Fidelity alonePeer = compareExact(playWithCommand(playbin(files.noise), seconds), noise, Compared);
    progress(QStringLiteral("sound: one file alone, at 44.1 kHz"));
    const Fidelity resampled =
        compareWithTones(playInProgram(program, {files.tones}, seconds), files.mix, SinkRate, Compared);
    const Fidelity resampledPeer =
        compareWithTones(playWithCommand(playbin(files.tones), seconds), files.mix, SinkRate, Compared);
    progress(QStringLiteral("sound: two quiet files"));
    const Fidelity sum = compareExact(playInProgram(program, files.quiet, seconds),
                                      plainSum(readWav16(files.quiet[0]), readWav16(files.quiet[1]), false), Compared);

    progress(QStringLiteral("sound: two loud files"));
    const Samples loudSum = plainSum(readWav16(files.loud[0]), readWav16(files.loud[1]), false);
    const double loudSeconds = SoundFiles::LoudSeconds;
    const Loudness loud = loudness(playInProgram(program, files.loud, loudSeconds), loudSum);
    const Loudness sox = loudness(playWithCommand({QStringLiteral("sox"), QStringLiteral("-q"), QStringLiteral("-m"),
                                                   files.loud[0], files.loud[1], QStringLiteral("-t"),
                                                   QStringLiteral("pulseaudio"), QStringLiteral("default")},
                                                  loudSeconds),
                                  loudSum);
    // ffmpeg's own PulseAudio output ends before the server has played its
    // last two seconds: the mix is written to a file and played with paplay.
    const QString amixed = dir.filePath(QStringLiteral("amix.wav"));
    if (!runToEnd({QStringLiteral("ffmpeg"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                   QStringLiteral("error"), QStringLiteral("-i"), files.loud[0], QStringLiteral("-i"), files.loud[1],
                   QStringLiteral("-filter_complex"), QStringLiteral("amix=inputs=2"), QStringLiteral("-c:a"),
                   QStringLiteral("pcm_s16le"), amixed},
                  30000))
        progress(QStringLiteral("ffmpeg could not mix the loud files"));
    const Loudness amix = loudness(playWithCommand({QStringLiteral("paplay"), amixed}, loudSeconds), loudSum);
    const Loudness clipped = loudness(plainSum(readWav16(files.loud[0]), readWav16(files.loud[1]), true), loudSum);

    line(QStringLiteral("### What the sink receives against the files, at 100 % volume "
                        "(16-bit, the sink at %1 kHz; %2 s compared)")
             .arg(SinkRate / 1000)
             .arg(Compared / SinkRate));
    line();
    line(QStringLiteral("| files | this program | `gst-launch-1.0 playbin` | target |"));
    line(QStringLiteral("|---|---|---|---|"));
    line(QStringLiteral("| one alone, noise at the sink's rate: samples equal to the file | %1 | %2 | 100 % |")
             .arg(equalShare(alone, true), equalShare(alonePeer, false)));
    line(QStringLiteral("| one alone, tones at 44.1 kHz, resampled once: the difference from the music | %1 | %2 | |")
             .arg(difference(resampled), difference(resampledPeer)));
    line(QStringLiteral("| two quiet ones, noise at 0.3 of full scale each: samples equal to their sum | %1 | | 100 % |")
             .arg(equalShare(sum, true)));
    line();
    // What rounding to 16 bits alone leaves: the measure's floor.
    const Fidelity floor = compareWithTones(readWav16(files.tones), files.mix, OtherRate, 2 * OtherRate);
    line(QStringLiteral("The tones are 28, a third of an octave apart from 31.5 Hz to 16 kHz, at -20 dBFS; the 44.1 kHz "
                        "file itself, rounded to 16 bits, is %1 dB from them, and rounded once more at the sink "
                        "nothing can come closer than about %2 dB.")
             .arg(floor.differenceDb, 0, 'f', 1)
             .arg(floor.differenceDb - 3, 0, 'f', 0));
    line();
    line(QStringLiteral("### Two loud files: sines of 440 Hz and 660 Hz peaking at 0.9 of full scale, %1 s, %2 kHz")
             .arg(loudSeconds)
             .arg(SinkRate / 1000));
    line();
    line(QStringLiteral("| player | samples at full scale | peak, dBFS | level against the sum, dB | target |"));
    line(QStringLiteral("|---|---|---|---|---|"));
    const auto row = [](const QString &player, const Loudness &l, bool judged) {
        line(QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
                 .arg(player, fullScale(l, judged), QString::number(l.peakDbfs, 'f', 1),
                      QString::number(l.levelDb, 'f', 1), judged ? QStringLiteral("0") : QString()));
    };
    row(QStringLiteral("this program"), loud, true);
    row(QStringLiteral("`sox -m`"), sox, false);
    row(QStringLiteral("ffmpeg's `amix`, played with `paplay`"), amix, false);
    row(QStringLiteral("the plain sum, clipped to 16 bits"), clipped, false);
    line();
}

QStringList soxMix(const QString &one, const QString &two)
{
    return {QStringLiteral("sox"), QStringLiteral("-q"), QStringLiteral("-m"), one, two, QStringLiteral("-t"),
            QStringLiteral("pulseaudio"), QStringLiteral("default")};
}

// The two MP3s a processor row plays: 440 Hz and 1000 Hz tones at 44.1 kHz.
struct UsePair
{
    QString label;
    QString one, two;
};

// GStreamer's encoder at 128 kbit/s, as every other row's MP3s; and sox's
// own MP3s, stereo VBR at about 36 kbit/s.
std::vector<UsePair> usePairs(const QString &dir)
{
    const double seconds = PlayingSeconds + 5;
    const auto soxTone = [&](const QString &name, int frequency) {
        const QString path = QDir(dir).filePath(name);
        if (!runToEnd({QStringLiteral("sox"), QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                       QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-C"), QStringLiteral("-3"), path,
                       QStringLiteral("synth"), QString::number(seconds), QStringLiteral("sine"),
                       QString::number(frequency)},
                      30000))
            qFatal("sox could not write %s", qPrintable(path));
        return path;
    };
    return {{QStringLiteral("128 kbit/s CBR, GStreamer's encoder"),
             testmedia::makeToneFile(dir, QStringLiteral("one.mp3"), MediaKind::Mp3, 440, seconds),
             testmedia::makeToneFile(dir, QStringLiteral("two.mp3"), MediaKind::Mp3, 1000, seconds)},
            {QStringLiteral("about 36 kbit/s VBR, sox's encoder"), soxTone(QStringLiteral("sox-one.mp3"), 440),
             soxTone(QStringLiteral("sox-two.mp3"), 1000)}};
}

// The rounds of one player on one pair: medians, each round's own time
// beside them, and each thread's mean.
struct UseRounds
{
    std::vector<ProgramUse> rounds;

    double median(qint64 ProgramUse::*field) const
    {
        std::vector<double> values;
        for (const ProgramUse &use : rounds)
            if (use.*field >= 0)
                values.push_back(double(use.*field));
        return values.size() == rounds.size() ? bench::median(values) : -1;
    }
    double own() const { return median(&ProgramUse::processTicks); }
    double server() const { return median(&ProgramUse::serverTicks); }
    double total() const { return own() < 0 || server() < 0 ? -1 : own() + server(); }
    bool heard() const
    {
        return std::all_of(rounds.begin(), rounds.end(), [](const ProgramUse &use) { return use.heard; });
    }
    QString eachRound() const
    {
        QStringList figures;
        for (const ProgramUse &use : rounds)
            figures << QString::number(use.processTicks);
        return rounds.size() > 1 ? QStringLiteral(" (%1)").arg(figures.join(QStringLiteral(", "))) : QString();
    }
    std::map<QString, ThreadUse> threads() const
    {
        std::map<QString, ThreadUse> mean;
        for (const ProgramUse &use : rounds)
            for (const auto &[name, thread] : use.threads) {
                mean[name].ticks += thread.ticks;
                mean[name].switches += thread.switches;
            }
        for (auto &[name, thread] : mean) {
            thread.ticks = std::lround(double(thread.ticks) / double(rounds.size()));
            thread.switches = std::lround(double(thread.switches) / double(rounds.size()));
        }
        return mean;
    }
};

// This program and sox -m on each pair, taking turns, `rounds` times: the
// machine's other work weighs on both alike.
void measureUseRounds(const QString &program, const std::vector<UsePair> &pairs, int rounds,
                      std::vector<UseRounds> &current, std::vector<UseRounds> &sox)
{
    current.assign(pairs.size(), {});
    sox.assign(pairs.size(), {});
    for (int round = 1; round <= rounds; ++round)
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            progress(QStringLiteral("processor, round %1 of %2, %3: this program").arg(round).arg(rounds).arg(pairs[i].label));
            current[i].rounds.push_back(measureProgramUse(program, pairs[i].one, pairs[i].two, PlayingSeconds));
            progress(QStringLiteral("processor, round %1 of %2, %3: sox -m").arg(round).arg(rounds).arg(pairs[i].label));
            sox[i].rounds.push_back(measureCommandsUse({soxMix(pairs[i].one, pairs[i].two)}, PlayingSeconds));
        }
}

// Each thread's ticks and wake-ups, mean of the rounds, a column for each of `use`.
void threadTable(const QString &player, const std::vector<UseRounds> &use)
{
    std::map<QString, std::vector<ThreadUse>> rows;
    for (std::size_t i = 0; i < use.size(); ++i)
        for (const auto &[name, thread] : use[i].threads()) {
            rows[name].resize(use.size());
            rows[name][i] = thread;
        }
    for (const auto &[name, threads] : rows) {
        QString text = QStringLiteral("| %1 | %2 |").arg(player, name);
        for (const ThreadUse &thread : threads)
            text += QStringLiteral(" %1 | %2 |").arg(thread.ticks).arg(thread.switches);
        line(text);
    }
}

void reportUse(const Programs &programs)
{
    QTemporaryDir dir;
    const std::vector<UsePair> pairs = usePairs(dir.path());
    const QString &one = pairs[0].one, &two = pairs[0].two;
    auto uri = [](const QString &path) { return QStringLiteral("uri=file://") + path; };

    std::vector<UseRounds> current, sox;
    measureUseRounds(programs.current, pairs, UseRoundCount, current, sox);
    progress(QStringLiteral("processor and memory: old program"));
    const ProgramUse old = measureProgramUse(programs.old, one, two, PlayingSeconds);
    progress(QStringLiteral("processor: two gst-launch-1.0 playbin"));
    const ProgramUse playbins = measureCommandsUse({{QStringLiteral("gst-launch-1.0"), QStringLiteral("-q"),
                                                     QStringLiteral("playbin"), uri(one)},
                                                    {QStringLiteral("gst-launch-1.0"), QStringLiteral("-q"),
                                                     QStringLiteral("playbin"), uri(two)}},
                                                   PlayingSeconds);

    const double tick = 1000.0 / double(sysconf(_SC_CLK_TCK));
    const auto row = [&](const QString &files, const QString &player, const QString &own, double server,
                         const QString &total, bool heard, const QString &target) {
        line(QStringLiteral("| %1 | %2 | %3 | %4 | %5%6 | %7 |")
                 .arg(files, player, own, ms(server), total,
                      heard ? QString() : QStringLiteral(" (not heard all along!)"), target));
    };
    line(QStringLiteral("### Processor, two 44.1 kHz MP3s playing for %1 s into a %3 Hz sink: the player's time and "
                        "the sound server's over the same %1 s (user + system, clock ticks of %2 ms)")
             .arg(PlayingSeconds)
             .arg(tick)
             .arg(qEnvironmentVariable("TANDRA_SINK_RATE", QStringLiteral("48000"))));
    line();
    line(QStringLiteral("This program and `sox -m` took turns, %1 rounds: medians, each round's own time in brackets.")
             .arg(UseRoundCount));
    line();
    line(QStringLiteral("| files | player | its own | sound server | total | target |"));
    line(QStringLiteral("|---|---|---|---|---|---|"));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const UseRounds &c = current[i], &s = sox[i];
        row(pairs[i].label, QStringLiteral("this program"), against(c.own(), s.own()) + c.eachRound(), c.server(),
            against(c.total(), s.total()), c.heard(),
            QStringLiteral("own ≤ `sox -m`'s, %1; total ≤ its, %2").arg(ms(s.own()), ms(s.total())));
        row({}, QStringLiteral("`sox -m`"), ms(s.own()) + s.eachRound(), s.server(), ms(s.total()), s.heard(), {});
        if (i == 0) {
            const auto single = [](const ProgramUse &use) {
                return use.processTicks < 0 || use.serverTicks < 0 ? -1 : double(use.processTicks + use.serverTicks);
            };
            row({}, QStringLiteral("old program (a playbin per channel)"), ms(double(old.processTicks)),
                double(old.serverTicks), ms(single(old)), old.heard, {});
            row({}, QStringLiteral("two `gst-launch-1.0 playbin` processes, summed"),
                ms(double(playbins.processTicks)), double(playbins.serverTicks), ms(single(playbins)), playbins.heard,
                {});
        }
    }
    line();
    line(QStringLiteral("### Where the time goes: each thread's ticks and wake-ups (context switches) in the %1 s, "
                         "mean of the rounds")
             .arg(PlayingSeconds));
    line();
    QString header = QStringLiteral("| player | thread |"), rule = QStringLiteral("|---|---|");
    for (const UsePair &pair : pairs) {
        header += QStringLiteral(" %1: ticks | wake-ups |").arg(pair.label);
        rule += QStringLiteral("---|---|");
    }
    line(header);
    line(rule);
    threadTable(QStringLiteral("this program"), current);
    threadTable(QStringLiteral("`sox -m`"), sox);
    line();
    line(QStringLiteral("### Resident memory (VmRSS), MiB"));
    line();
    line(QStringLiteral("| player | idle after start | target | playing two MP3s |"));
    line(QStringLiteral("|---|---|---|---|"));
    const ProgramUse &first = current[0].rounds.front();
    line(QStringLiteral("| this program | %1 | ≤ %2 | %3 |")
             .arg(first.idleKiB < 0 ? mib(-1) : against(double(first.idleKiB) / 1024, IdleLimitMiB, 1),
                  QString::number(IdleLimitMiB), mib(first.playingKiB)));
    line(QStringLiteral("| old program | %1 | | %2 |").arg(mib(old.idleKiB), mib(old.playingKiB)));
    line();
}

// Both channels on the default output, then channel 2 on a second one,
// `rounds` times taking turns. Both sinks are recorded either way, so that
// the sound server has the same recorders to feed.
void reportOutputUse(const QString &program, int rounds)
{
    QTemporaryDir dir;
    const UsePair pair = usePairs(dir.path()).front();
    const ExtraSink second(SecondSink);
    const QStringList sinks{qEnvironmentVariable("TANDRA_NULL_SINK", QStringLiteral("tandra_null")), second.name};
    UseRounds one, two;
    for (int round = 1; round <= rounds; ++round) {
        progress(QStringLiteral("processor, round %1 of %2: one output").arg(round).arg(rounds));
        one.rounds.push_back(measureProgramUse(program, pair.one, pair.two, PlayingSeconds, {}, sinks));
        progress(QStringLiteral("processor, round %1 of %2: two outputs").arg(round).arg(rounds));
        two.rounds.push_back(measureProgramUse(program, pair.one, pair.two, PlayingSeconds,
                                               {QStringLiteral("--output2"), second.name}, sinks));
    }
    line(QStringLiteral("### Processor with two outputs: this program playing two MP3s (%1) for %2 s into %3 Hz sinks, "
                        "user + system, clock ticks (median of %4 rounds taking turns, each round's own in brackets)")
             .arg(pair.label)
             .arg(PlayingSeconds)
             .arg(qEnvironmentVariable("TANDRA_SINK_RATE", QStringLiteral("48000")))
             .arg(rounds));
    line();
    line(QStringLiteral("| outputs | its own | sound server | total | target |"));
    line(QStringLiteral("|---|---|---|---|---|"));
    for (const auto &[label, use] : {std::pair{QStringLiteral("both channels on the default output"), &one},
                                     std::pair{QStringLiteral("channel 2 on a second null sink (`--output2`)"), &two}})
        line(QStringLiteral("| %1 | %2 | %3 | %4%5 | none: the cost of a second output, shown |")
                 .arg(label, ms(use->own()) + use->eachRound(), ms(use->server()), ms(use->total()),
                      use->heard() ? QString() : QStringLiteral(" (not heard all along!)")));
    line();
    line(QStringLiteral("| player | thread | one output: ticks | wake-ups | two outputs: ticks | wake-ups |"));
    line(QStringLiteral("|---|---|---|---|---|---|"));
    threadTable(QStringLiteral("this program"), {one, two});
    line();
}

void reportOutputSkew(const QString &program, int runs)
{
    const ExtraSink second(SecondSink);
    const QString first = qEnvironmentVariable("TANDRA_NULL_SINK", QStringLiteral("tandra_null"));
    progress(QStringLiteral("start skew on one output"));
    const StartFigures one = measureOutputSkew(program, {first}, {}, runs);
    progress(QStringLiteral("start skew on one output, recorded twice"));
    const StartFigures twice = measureOutputSkew(program, {first, first}, {}, runs);
    progress(QStringLiteral("start skew across two outputs"));
    const StartFigures two = measureOutputSkew(program, {first, second.name}, second.name, runs);
    line(QStringLiteral("### Start skew across two outputs: median and worst of %1 runs, ms").arg(runs));
    line();
    line(QStringLiteral("Two WAV tones after %1 s of silence on the command line. Recorded twice: the one sink's "
                        "monitor recorded twice on one clock, as the two sinks are, each tone looked for in its "
                        "own recording: the recorder's own skew.")
             .arg(LeadInSeconds));
    line();
    line(QStringLiteral("| outputs | start skew | worst | target | skew after Pause, Play | click to sound |"));
    line(QStringLiteral("|---|---|---|---|---|---|"));
    const auto row = [](const QString &outputs, const StartFigures &f, const QString &worst, const QString &target) {
        line(QStringLiteral("| %1%2 | %3 | %4 | %5 | %6 | %7 |")
                 .arg(outputs, heardNote(f.heard, f.runs), ms(f.skewMs, 1), worst, target, ms(f.resumeSkewMs, 1),
                      ms(f.clickToSoundMs)));
    };
    row(QStringLiteral("both channels on the default output"), one, ms(one.worstSkewMs, 1), {});
    row(QStringLiteral("the same, recorded twice"), twice, ms(twice.worstSkewMs, 1), {});
    row(QStringLiteral("channel 2 on a second null sink (`--output2`)"), two, against(two.worstSkewMs, 5, 1),
        QStringLiteral("worst ≤ 5"));
    line();
}

void reportKeyToSound(const QString &program, int runs)
{
    progress(QStringLiteral("key to sound"));
    const KeyToSoundFigures f = measureKeyToSound(program, runs);
    line(QStringLiteral("### Key to sound: from the wheel or the key to the change heard, ms (median and worst of %1)")
             .arg(runs));
    line();
    line(QStringLiteral("| change | median | worst | target |"));
    line(QStringLiteral("|---|---|---|---|"));
    const auto row = [](const QString &change, const ChangeFigures &c) {
        line(QStringLiteral("| %1%2 | %3 | %4 | worst ≤ %5 |")
                 .arg(change, heardNote(c.heard, c.runs), ms(c.medianMs), against(c.worstMs, KeyToSoundLimitMs),
                      QString::number(KeyToSoundLimitMs)));
    };
    row(QStringLiteral("volume step: the wheel over channel 1, to 0 and back"), f.volumeStep);
    row(QStringLiteral("solo switch: the keys 1, 2 and 0 in turn"), f.soloSwitch);
    line();
}

void reportFirstPlay(const Programs &programs, int starts)
{
    line(QStringLiteral("### First Play after start-up, click to sound, ms (median and worst of %1 fresh starts)").arg(starts));
    line();
    line(QStringLiteral("| channels | this program | old program | target |"));
    line(QStringLiteral("|---|---|---|---|"));
    for (const auto &[kind1, kind2, limit] : {std::tuple{MediaKind::Wav, MediaKind::Mp3, 150.0},
                                              std::tuple{MediaKind::Mp3, MediaKind::Mid, 400.0}}) {
        progress(QStringLiteral("first play %1").arg(pairLabel(kind1, kind2)));
        const FirstPlayFigures current = measureFirstPlay(programs.current, kind1, kind2, starts);
        const FirstPlayFigures old = measureFirstPlay(programs.old, kind1, kind2, starts);
        line(QStringLiteral("| %1 | %2 (worst %3)%4 | %5 (worst %6)%7 | ≤ %8 |")
                 .arg(pairLabel(kind1, kind2), against(current.medianMs, limit), ms(current.worstMs),
                      heardNote(current.heard, current.starts), ms(old.medianMs), ms(old.worstMs),
                      heardNote(old.heard, old.starts), QString::number(limit)));
    }
    line();
}

void reportStarts(const Programs &programs, bool quick, int runs)
{
    const std::vector<Pair> pairs = pairsToMeasure(quick);
    line(QStringLiteral("### Play, and Play after Pause: median of %1 runs each, ms").arg(runs));
    line();
    line(QStringLiteral("Click to sound is the later channel's first sound; skew is between the two channels."));
    line();
    line(QStringLiteral("| channels | click to sound | old | target | start skew | old | target | skew after Pause, Play | old |"));
    line(QStringLiteral("|---|---|---|---|---|---|---|---|---|"));
    int done = 0;
    for (const auto &[kind1, kind2] : pairs) {
        progress(QStringLiteral("[%1/%2] %3").arg(++done).arg(pairs.size()).arg(pairLabel(kind1, kind2)));
        const StartFigures current = measureStarts(programs.current, kind1, kind2, runs);
        const StartFigures old = measureStarts(programs.old, kind1, kind2, runs);
        const double limit = kind1 == MediaKind::Mid || kind2 == MediaKind::Mid ? 150 : 100;
        line(QStringLiteral("| %1%2 | %3 | %4%5 | ≤ %6 | %7 | %8 | ≤ 5 | %9 | %10 |")
                 .arg(pairLabel(kind1, kind2), heardNote(current.heard, current.runs),
                      against(current.clickToSoundMs, limit), ms(old.clickToSoundMs), heardNote(old.heard, old.runs),
                      QString::number(limit), against(current.skewMs, 5, 1), ms(old.skewMs, 1),
                      ms(current.resumeSkewMs, 1), ms(old.resumeSkewMs, 1)));
    }
    line();
}

int report(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.addOptions({{QStringLiteral("new"), QStringLiteral("This program."), QStringLiteral("program")},
                       {QStringLiteral("old"), QStringLiteral("The old program."), QStringLiteral("program")},
                       {QStringLiteral("bare"), QStringLiteral("The bare Qt window."), QStringLiteral("program")},
                       {QStringLiteral("quick"), QStringLiteral("Eight pairs of kinds instead of all 21.")},
                       {QStringLiteral("runs"), QStringLiteral("Runs per pair."), QStringLiteral("n"),
                        QStringLiteral("10")},
                       {QStringLiteral("use-only"), QStringLiteral("Only processor and memory.")},
                       {QStringLiteral("skip-use"), QStringLiteral("All but processor and memory.")}});
    parser.process(arguments);
    const Programs programs{parser.value(QStringLiteral("new")), parser.value(QStringLiteral("old")),
                            parser.value(QStringLiteral("bare"))};
    if (programs.current.isEmpty() || programs.old.isEmpty() || programs.bare.isEmpty())
        parser.showHelp(2);
    if (parser.isSet(QStringLiteral("use-only"))) {
        reportUse(programs);
        reportOutputUse(programs.current, UseRoundCount);
        return 0;
    }
    reportStartUp(programs, StartUpRuns);
    reportSound(programs.current);
    if (!parser.isSet(QStringLiteral("skip-use")))
        reportUse(programs);
    reportFirstPlay(programs, 5);
    const int runs = parser.value(QStringLiteral("runs")).toInt();
    reportStarts(programs, parser.isSet(QStringLiteral("quick")), runs);
    reportOutputSkew(programs.current, runs);
    reportKeyToSound(programs.current, runs);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    const int count = args.size() > 5 ? args[5].toInt() : 0;
    if (mode == QLatin1String("report"))
        return report(args.mid(1));
    if (mode == QLatin1String("start") && args.size() >= 5) {
        const StartFigures f = measureStarts(args[2], kindNamed(args[3]), kindNamed(args[4]), count ? count : 10);
        std::printf("%s %s: click to sound %.0f ms, start skew %.1f ms, skew after resume %.1f ms (%d of %d heard)\n",
                    qPrintable(args[3]), qPrintable(args[4]), f.clickToSoundMs, f.skewMs, f.resumeSkewMs, f.heard,
                    f.runs);
        return 0;
    }
    if (mode == QLatin1String("first") && args.size() >= 5) {
        const FirstPlayFigures f = measureFirstPlay(args[2], kindNamed(args[3]), kindNamed(args[4]), count ? count : 5);
        std::printf("%s %s: first play, click to sound %.0f ms, worst %.0f ms (%d of %d heard)\n", qPrintable(args[3]),
                    qPrintable(args[4]), f.medianMs, f.worstMs, f.heard, f.starts);
        return 0;
    }
    if (mode == QLatin1String("use") && args.size() >= 3) {
        QTemporaryDir dir;
        const std::vector<UsePair> pairs = usePairs(dir.path());
        std::vector<UseRounds> current, sox;
        const int rounds = args.size() > 3 ? args[3].toInt() : UseRoundCount;
        measureUseRounds(args[2], pairs, rounds > 0 ? rounds : UseRoundCount, current, sox);
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            std::printf("%s: this program %s ticks, sound server %s; sox -m %s ticks, sound server %s\n",
                        qPrintable(pairs[i].label), qPrintable(ms(current[i].own()) + current[i].eachRound()),
                        qPrintable(ms(current[i].server())), qPrintable(ms(sox[i].own()) + sox[i].eachRound()),
                        qPrintable(ms(sox[i].server())));
            for (const auto &[name, thread] : current[i].threads())
                std::printf("  %-16s %3lld ticks %5lld wake-ups\n", qPrintable(name), thread.ticks, thread.switches);
            for (const auto &[name, thread] : sox[i].threads())
                std::printf("  sox: %-11s %3lld ticks %5lld wake-ups\n", qPrintable(name), thread.ticks, thread.switches);
        }
        return 0;
    }
    if (mode == QLatin1String("outputs") && args.size() >= 3) {
        const int runs = args.size() > 3 ? args[3].toInt() : 10;
        reportOutputSkew(args[2], runs > 0 ? runs : 10);
        return 0;
    }
    if (mode == QLatin1String("outputs-use") && args.size() >= 3) {
        const int rounds = args.size() > 3 ? args[3].toInt() : UseRoundCount;
        reportOutputUse(args[2], rounds > 0 ? rounds : UseRoundCount);
        return 0;
    }
    if (mode == QLatin1String("keys") && args.size() >= 3) {
        const int runs = args.size() > 3 ? args[3].toInt() : 10;
        reportKeyToSound(args[2], runs > 0 ? runs : 10);
        return 0;
    }
    if (mode == QLatin1String("sound") && args.size() >= 3) {
        reportSound(args[2]);
        return 0;
    }
    if (mode == QLatin1String("startup") && args.size() >= 4) {
        const int runs = args.size() > 4 ? args[4].toInt() : StartUpRuns;
        const QString bare = QCoreApplication::applicationDirPath() + QStringLiteral("/tandra_bare");
        const std::vector<StartUpFigures> f =
            measureStartUps({{args[2], args[3]}, {bare, BareTitle}, {bare + QStringLiteral("_menu"), BareTitle}}, runs);
        std::printf("start-up to window mapped %.1f ms (%dx%d); bare window %.1f ms (× %.2f), with a menu bar %.1f ms\n",
                    f[0].medianMs, f[0].windowSize.width(), f[0].windowSize.height(), f[1].medianMs,
                    f[0].medianMs / f[1].medianMs, f[2].medianMs);
        return 0;
    }
    std::fprintf(stderr, "usage: tandra_bench report|start|first|sound|use|outputs|outputs-use|keys|startup ... (see the top of tandra_bench.cpp)\n");
    return 2;
}
