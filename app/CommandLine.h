#pragma once

#include <QStringList>

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

// The options and arguments of `tandra [FILE1 [FILE2]]`.
void describeCommandLine(QCommandLineParser &parser);

// `tandra [FILE1 [FILE2]]`: --help and --version print and end the program
// here; the problems go to stderr.
QStringList filesFromCommandLine(const QCoreApplication &app);
