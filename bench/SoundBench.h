#pragma once

// What reaches the null sink from a player, at 16 bits, to be compared with
// the files it played.
#include "SoundCompare.h"

#include <QStringList>

namespace bench {

// The null sink of scripts/with-test-env.sh runs at 48 kHz.
constexpr int SinkRate = 48000;
constexpr int OtherRate = 44100;

// The files the sound rows play, written by hand into `dir`.
struct SoundFiles
{
    explicit SoundFiles(const QString &dir);

    // 4 s of noise at a quarter of full scale, at the sink's rate.
    QString noise;
    // 4 s of the tone mix at 44.1 kHz, which the sink does not run at.
    ToneMix mix{11};
    QString tones;
    // 4 s of noise at 0.3 of full scale each, which sum inside full scale.
    QStringList quiet;
    // 3 s of 440 Hz and 660 Hz sines peaking at 0.9 of full scale.
    QStringList loud;
    static constexpr double LoudSeconds = 3;
};

// The program started with the files on its command line, Play clicked;
// what the sink received until `seconds` after the click. Empty when the
// program's window did not come.
Samples playInProgram(const QString &program, const QStringList &files, double seconds);

// What the sink received while the command ran (to its end, or `seconds`
// and a margin).
Samples playWithCommand(const QStringList &command, double seconds);

// Runs a command to its end; false when it failed or took too long.
bool runToEnd(const QStringList &command, int timeoutMs);

} // namespace bench
