#pragma once

// What a player costs the machine: processor time and memory while it plays,
// and how long it takes to put its window up.
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

namespace bench {

struct ProgramUse
{
    // Processor time over the measured stretch, user + system, all threads,
    // in clock ticks: the player's own, and the sound server's meanwhile.
    qint64 processTicks = -1;
    qint64 serverTicks = -1;
    qint64 idleKiB = -1;    // resident once the started program has settled
    qint64 playingKiB = -1; // resident at the end of the measured stretch
    bool heard = false;     // both files were heard through the stretch
};

// The program started, left to settle, then playing both files (chosen in
// its dialogs) for `seconds`.
ProgramUse measureProgramUse(const QString &program, const QString &file1, const QString &file2, int seconds);

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

// The program started `runs` times (after one start that warms the caches),
// timed until a top-level window with this title is mapped.
StartUpFigures measureStartUp(const QString &program, const QString &title, int runs);

} // namespace bench
