#pragma once

#include "SoundServerOutput.h"

#include <QStringList>

#include <functional>
#include <optional>

class QCommandLineParser;
class QCoreApplication;

// What the command line gives the two channels: full paths, the first for
// channel 1 and the second for channel 2, and a line for each thing the user
// should hear about.
struct StartFiles
{
    QStringList paths;
    QStringList problems;
};

// Names are taken as given, like a name typed into the open dialog: one that
// can't be read is used all the same and is only reported.
StartFiles startFiles(const QStringList &names, const QString &workingFolder);

// The output of that name, or else of that description; the name wins, as
// a description need not be unique.
std::optional<SoundServerOutput> findOutput(const SoundServerOutputs &outputs, const QString &nameOrDescription);

// What --output1 and --output2 give the two channels: an output each (an
// empty one: with the other channel), or, when one names no output there is,
// the message that says so and lists those there are. The outputs are only
// asked for when one is named.
struct StartOutputs
{
    SoundServerOutput channels[2];
    QString problem;
};
StartOutputs startOutputs(const QCommandLineParser &parser, const std::function<SoundServerOutputs()> &listOutputs);

// What --offset1 and --offset2 give the two channels, in ms, or the message
// that says which value is not a whole number of ms within a day either way.
struct StartOffsets
{
    qint64 channels[2] = {0, 0};
    QString problem;
};
StartOffsets startOffsets(const QCommandLineParser &parser);

// The options and arguments of `tandra [--output1 NAME] [--output2 NAME]
// [--offset1 MS] [--offset2 MS] [--match-loudness] [FILE1 [FILE2]]`.
void describeCommandLine(QCommandLineParser &parser);

struct CommandLineStart
{
    QStringList files;
    StartOutputs outputs;
    StartOffsets offsets;
    bool matchLoudness = false;
};

// --help and --version print and end the program here; the problems go to
// stderr. Nothing when an output is unknown or an offset is not a number:
// the program should end.
std::optional<CommandLineStart> startFromCommandLine(const QCoreApplication &app,
                                                     const std::function<SoundServerOutputs()> &listOutputs);
