#pragma once

// What a player costs the machine: processor time and memory while it plays,
// and how long it takes to put its window up.
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <map>
#include <vector>

namespace bench {

// One kind of thread over the measured stretch: its processor time in clock
// ticks and how often it stopped running (context switches, each a wake-up).
struct ThreadUse
{
    qint64 ticks = 0;
    qint64 switches = 0;
};

struct ProgramUse
{
    // Processor time over the measured stretch, user + system, all threads,
    // in clock ticks: the player's own, and the sound server's meanwhile.
    qint64 processTicks = -1;
    qint64 serverTicks = -1;
    qint64 idleKiB = -1;    // resident once the started program has settled
    qint64 playingKiB = -1; // resident at the end of the measured stretch
    bool heard = false;     // both files were heard through the stretch
    std::map<QString, ThreadUse> threads; // by thread name, of threads that ran
};

// The program started (with `arguments`), left to settle, then playing both
// files (chosen in its dialogs) for `seconds`. Heard on the default sink, or
// on all the sinks `recorded` together.
ProgramUse measureProgramUse(const QString &program, const QString &file1, const QString &file2, int seconds,
                             const QStringList &arguments = {}, const QStringList &recorded = {});

// A null sink added to the test sound server, there for the object's life.
struct ExtraSink
{
    explicit ExtraSink(QString name);
    ~ExtraSink();
    ExtraSink(const ExtraSink &) = delete;
    ExtraSink &operator=(const ExtraSink &) = delete;
    const QString name;
};

// Other players started together, playing the same files to the same sink
// for `seconds`; their processor time summed. The files hold 440 Hz and
// 1000 Hz tones, which have to be heard.
ProgramUse measureCommandsUse(const QList<QStringList> &commands, int seconds);

struct StartUpFigures
{
    double medianMs = -1; // process start to its window mapped
    QSize windowSize;
    int runs = 0;
};

struct StartUpProgram
{
    QString program;
    QString title; // of the top-level window that ends its start
};

// Each program started `runs` times (after one start that warms the caches),
// timed until its window is mapped. The starts take turns, so that whatever
// else the machine does over the run weighs on every program alike.
std::vector<StartUpFigures> measureStartUps(const std::vector<StartUpProgram> &programs, int runs);

} // namespace bench
