#include "ProcessBench.h"

#include "PlayerDriver.h"
#include "SinkRecorder.h"
#include "StartBench.h"
#include "ToneAnalysis.h"
#include "XTools.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>

#include <memory>
#include <optional>

using namespace playerdriver;

namespace bench {

namespace {

constexpr double ToneFrequencies[] = {440, 1000};

// The fields of a process's or thread's stat file after the command name
// (which may hold spaces), and that name.
QList<QByteArray> statFields(const QString &path, QString *name = nullptr)
{
    QFile stat(path);
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
    if (name)
        *name = QString::fromUtf8(line.mid(open + 1, close - open - 1));
    return line.mid(close + 2).split(' ');
}

// User + system time in clock ticks from a stat file; -1 when unreadable.
qint64 cpuTicks(const QList<QByteArray> &fields)
{
    // utime and stime are fields 14 and 15 of the whole line.
    return fields.size() < 13 ? -1 : fields[11].toLongLong() + fields[12].toLongLong();
}

// Processor time of the process, all its threads.
qint64 cpuTicks(qint64 pid)
{
    return pid <= 0 ? -1 : cpuTicks(statFields(QStringLiteral("/proc/%1/stat").arg(pid)));
}

qint64 cpuTicks(const QList<qint64> &pids)
{
    qint64 total = 0;
    for (qint64 pid : pids) {
        const qint64 used = cpuTicks(pid);
        if (used < 0)
            return -1;
        total += used;
    }
    return total;
}

// Each thread's use so far, by thread id; the name kept with it.
struct ThreadSample
{
    QString name;
    ThreadUse use;
};

std::map<qint64, ThreadSample> threadSamples(const QList<qint64> &pids)
{
    std::map<qint64, ThreadSample> samples;
    for (qint64 pid : pids) {
        const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
        for (const QString &tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            ThreadSample sample;
            sample.use.ticks = cpuTicks(statFields(tasks + tid + QStringLiteral("/stat"), &sample.name));
            QFile status(tasks + tid + QStringLiteral("/status"));
            if (sample.use.ticks < 0 || !status.open(QIODevice::ReadOnly))
                continue; // ended meanwhile
            for (const QByteArray &entry : status.readAll().split('\n'))
                if (entry.contains("ctxt_switches:")) // voluntary and not
                    sample.use.switches += entry.mid(entry.indexOf(':') + 1).trimmed().toLongLong();
            samples[tid.toLongLong()] = sample;
        }
    }
    return samples;
}

// What each kind of thread used between the two samples, summed by name.
std::map<QString, ThreadUse> threadUse(const std::map<qint64, ThreadSample> &before,
                                       const std::map<qint64, ThreadSample> &after)
{
    std::map<QString, ThreadUse> use;
    for (const auto &[tid, sample] : after) {
        const auto was = before.find(tid);
        const ThreadUse start = was == before.end() ? ThreadUse{} : was->second.use;
        ThreadUse &sum = use[sample.name];
        sum.ticks += sample.use.ticks - start.ticks;
        sum.switches += sample.use.switches - start.switches;
    }
    std::erase_if(use, [](const auto &entry) { return entry.second.ticks == 0 && entry.second.switches == 0; });
    return use;
}

// scripts/test-sound-server.sh, which with-test-env.sh hands on: its
// output, or nothing when it failed.
std::optional<QByteArray> soundServer(const QStringList &arguments)
{
    QProcess server;
    server.start(qEnvironmentVariable("TANDRA_SOUND_SERVER"), arguments);
    if (!server.waitForFinished(20000) || server.exitStatus() != QProcess::NormalExit || server.exitCode() != 0)
        return std::nullopt;
    return server.readAllStandardOutput().trimmed();
}

// The PulseAudio daemon of scripts/with-test-env.sh: what a player leaves
// to it (resampling, mixing its streams) is part of what the player costs.
qint64 soundServerPid()
{
    const auto pid = soundServer({QStringLiteral("pid")});
    if (!pid)
        qFatal("no sound server pid from TANDRA_SOUND_SERVER: run under scripts/with-test-env.sh");
    return pid->toLongLong();
}

// Processor time over `seconds` of waiting, the sound server's beside it,
// with the sink recorded to check that both tones sounded all along.
// The sinks in `recorded` are recorded instead of the default one alone,
// the tones looked for in all of them together.
void measurePlaying(const QList<qint64> &pids, int seconds, ProgramUse &use, const QStringList &recorded = {})
{
    const qint64 server = soundServerPid();
    const auto recorder = recorded.isEmpty() ? std::make_unique<tones::SinkRecorder>()
                                             : std::make_unique<tones::SinkRecorder>(recorded);
    if (!recorder->start())
        qFatal("no null sink (%s): run under scripts/with-test-env.sh", qPrintable(recorder->errorString()));
    const auto threadsBefore = threadSamples(pids);
    const qint64 before = cpuTicks(pids), serverBefore = cpuTicks(server);
    QTest::qWait(seconds * 1000);
    const qint64 after = cpuTicks(pids), serverAfter = cpuTicks(server);
    use.threads = threadUse(threadsBefore, threadSamples(pids));
    const std::vector<float> interleaved = recorder->stop();
    const std::size_t channels = std::max<qsizetype>(1, recorded.size());
    std::vector<float> all(interleaved.size() / channels);
    for (std::size_t i = 0; i < interleaved.size(); ++i)
        all[i / channels] += interleaved[i];
    const auto found = tones::findTones(all, tones::SinkRecorder::SampleRate,
                                        {std::begin(ToneFrequencies), std::end(ToneFrequencies)});
    if (before >= 0 && after >= 0)
        use.processTicks = after - before;
    if (serverBefore >= 0 && serverAfter >= 0)
        use.serverTicks = serverAfter - serverBefore;
    use.heard = true;
    for (const tones::ToneFinding &tone : found)
        use.heard = use.heard && tone.heardSeconds > 0.8 * seconds;
}

// Resident memory once it stops growing by more than 1 % a second (at most 10 s).
qint64 settledResidentKiB(const Player &player)
{
    QDeadlineTimer deadline(10000);
    qint64 last = player.residentKiB();
    while (!deadline.hasExpired()) {
        QTest::qWait(1000);
        const qint64 now = player.residentKiB();
        if (std::abs(now - last) * 100 <= last)
            return now;
        last = now;
    }
    return last;
}

void stop(QProcess &process)
{
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
}

} // namespace

ProgramUse measureProgramUse(const QString &program, const QString &file1, const QString &file2, int seconds,
                             const QStringList &arguments, const QStringList &recorded)
{
    ProgramUse use;
    Player player(program);
    if (!player.start(arguments))
        qFatal("could not start %s", qPrintable(program));
    use.idleKiB = settledResidentKiB(player);
    if (!player.choose(Channel1, file1) || !player.choose(Channel2, file2))
        qFatal("could not choose the files in %s", qPrintable(program));
    player.click(PlayButton);
    QTest::qWait(1500);
    measurePlaying({player.process().processId()}, seconds, use, recorded);
    use.playingKiB = player.residentKiB();
    return use;
}

ProgramUse measureCommandsUse(const QList<QStringList> &commands, int seconds)
{
    ProgramUse use;
    std::vector<std::unique_ptr<QProcess>> processes;
    QList<qint64> pids;
    for (const QStringList &command : commands) {
        auto &process = processes.emplace_back(std::make_unique<QProcess>());
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(command.first(), command.mid(1));
        if (!process->waitForStarted())
            qFatal("could not start %s", qPrintable(command.first()));
        pids << process->processId();
    }
    QTest::qWait(1500);
    measurePlaying(pids, seconds, use);
    for (auto &process : processes)
        stop(*process);
    return use;
}

ExtraSink::ExtraSink(QString name)
    : name(std::move(name))
{
    if (!soundServer({QStringLiteral("add-sink"), this->name}))
        qFatal("no null sink %s added: run under scripts/with-test-env.sh", qPrintable(this->name));
}

ExtraSink::~ExtraSink()
{
    if (!soundServer({QStringLiteral("remove-sink"), name}))
        std::fprintf(stderr, "  the null sink %s could not be removed\n", qPrintable(name));
}

namespace {

// Milliseconds from starting the program to its window mapped.
double startOnce(const StartUpProgram &program, StartUpFigures &figures, bool warming)
{
    MapWatch watch;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program.program, {});
    const QSize size = watch.waitForMap(program.title.toUtf8(), 15000);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (size.isEmpty())
        qFatal("no window \"%s\" from %s", qPrintable(program.title), qPrintable(program.program));
    std::fprintf(stderr, "  %s: window mapped after %.0f ms%s\n", qPrintable(program.program), ms,
                 warming ? " (warming)" : "");
    figures.windowSize = size;
    // Closed before the next start, as a user would have it.
    QTest::qWait(500);
    stop(process);
    return ms;
}

} // namespace

std::vector<StartUpFigures> measureStartUps(const std::vector<StartUpProgram> &programs, int runs)
{
    std::vector<StartUpFigures> figures(programs.size());
    std::vector<std::vector<double>> times(programs.size());
    // The first round fills the disk cache and font caches.
    for (int round = 0; round <= runs; ++round)
        for (std::size_t i = 0; i < programs.size(); ++i) {
            const double ms = startOnce(programs[i], figures[i], round == 0);
            if (round > 0)
                times[i].push_back(ms);
        }
    for (std::size_t i = 0; i < programs.size(); ++i) {
        figures[i].runs = runs;
        figures[i].medianMs = median(times[i]);
    }
    return figures;
}

} // namespace bench
