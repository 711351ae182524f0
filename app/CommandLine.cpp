#include "CommandLine.h"

#include "AppLog.h"
#include "Playback.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

Q_LOGGING_CATEGORY(lcApp, "tandra.app")

StartFiles startFiles(const QStringList &names, const QString &workingFolder)
{
    StartFiles start;
    for (const QString &name : names.mid(0, 2)) {
        if (name.isEmpty()) {
            start.paths << QString(); // like a cancelled dialog
            start.problems << QStringLiteral("an empty file name leaves channel %1 as it is").arg(start.paths.size());
            continue;
        }
        // A leading colon would name Qt's built-in resources; here it is part
        // of a file's name in the working folder.
        const QString relative = name.startsWith(u':') ? QStringLiteral("./") + name : name;
        // The channel gets the clean full path, so that is what is checked.
        const QFileInfo file(QFileInfo(QDir(workingFolder), relative).absoluteFilePath());
        start.paths << file.filePath();
        // In one pass: markers in the path are text, not places to fill.
        if (!file.isFile() || !file.isReadable())
            start.problems << QStringLiteral("%1 is not a readable file; channel %2 takes it all the same")
                                  .arg(start.paths.last(), QString::number(start.paths.size()));
    }
    if (names.size() > 2)
        start.problems << QStringLiteral("only two files are used; ignored: %1").arg(names.mid(2).join(QLatin1Char(' ')));
    return start;
}

namespace {

const QString OutputOption[2] = {QStringLiteral("output1"), QStringLiteral("output2")};
const QString OffsetOption[2] = {QStringLiteral("offset1"), QStringLiteral("offset2")};

} // namespace

std::optional<SoundServerOutput> findOutput(const SoundServerOutputs &outputs, const QString &nameOrDescription)
{
    for (auto field : {&SoundServerOutput::name, &SoundServerOutput::description})
        for (const SoundServerOutput &output : outputs)
            if (output.*field == nameOrDescription)
                return output;
    return std::nullopt;
}

StartOutputs startOutputs(const QCommandLineParser &parser, const std::function<SoundServerOutputs()> &listOutputs)
{
    StartOutputs start;
    std::optional<SoundServerOutputs> outputs;
    QStringList unknown;
    for (int channel = 0; channel < 2; ++channel) {
        // An empty name asks for the default, which needs no server.
        const QString asked = parser.value(OutputOption[channel]);
        if (asked.isEmpty())
            continue;
        if (!outputs)
            outputs = listOutputs();
        if (const std::optional<SoundServerOutput> found = findOutput(*outputs, asked))
            start.channels[channel] = *found;
        else
            unknown << QStringLiteral("no output \"%1\" for channel %2").arg(asked, QString::number(channel + 1));
    }
    if (unknown.isEmpty())
        return start;
    start.problem = unknown.join(QStringLiteral("; "));
    if (outputs->isEmpty()) {
        start.problem += QStringLiteral("; the sound server lists no outputs or does not answer");
        return start;
    }
    start.problem += QStringLiteral("; the outputs are (name, then description):");
    for (const SoundServerOutput &output : *outputs)
        start.problem += QStringLiteral("\n  %1\t%2").arg(output.name, output.description);
    return start;
}

StartOffsets startOffsets(const QCommandLineParser &parser)
{
    StartOffsets start;
    QStringList wrong;
    for (int channel = 0; channel < 2; ++channel) {
        if (!parser.isSet(OffsetOption[channel]))
            continue;
        const QString asked = parser.value(OffsetOption[channel]);
        bool number = false;
        const qint64 offsetMs = asked.toLongLong(&number);
        if (number && qAbs(offsetMs) <= Playback::MaxOffsetMs)
            start.channels[channel] = offsetMs;
        else
            wrong << QStringLiteral("--%1 \"%2\" is not a whole number of milliseconds from -%3 to %3")
                         .arg(OffsetOption[channel], asked, QString::number(Playback::MaxOffsetMs));
    }
    start.problem = wrong.join(QStringLiteral("; "));
    return start;
}

void describeCommandLine(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Plays two media files at the same time."));
    parser.addHelpOption();
    parser.addVersionOption();
    for (int channel = 0; channel < 2; ++channel)
        parser.addOption({OutputOption[channel],
                          QStringLiteral("Channel %1 leaves by the sound server's output NAME, by its name (as "
                                         "`pactl list short sinks` gives it) or its description; without it, "
                                         "with the other channel.")
                              .arg(channel + 1),
                          QStringLiteral("NAME")});
    for (int channel = 0; channel < 2; ++channel)
        parser.addOption({OffsetOption[channel],
                          QStringLiteral("Channel %1's file starts MS milliseconds after the other's; a negative MS "
                                         "skips that much of its start instead. 0 without it.")
                              .arg(channel + 1),
                          QStringLiteral("MS")});
    parser.addOption({QStringLiteral("match-loudness"),
                      QStringLiteral("Plays both channels at the loudness of the quieter one (EBU R128).")});
    parser.addPositionalArgument(QStringLiteral("FILE1"), QStringLiteral("A media file for channel 1."), QStringLiteral("[FILE1"));
    parser.addPositionalArgument(QStringLiteral("FILE2"), QStringLiteral("A media file for channel 2."), QStringLiteral("[FILE2]]"));
}

std::optional<CommandLineStart> startFromCommandLine(const QCoreApplication &app,
                                                     const std::function<SoundServerOutputs()> &listOutputs)
{
    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(app);

    // Offsets first: a mistyped number needs no sound server to be told of.
    CommandLineStart start{{}, {}, startOffsets(parser)};
    if (start.offsets.problem.isEmpty())
        start.outputs = startOutputs(parser, listOutputs);
    if (const QString problem = start.offsets.problem + start.outputs.problem; !problem.isEmpty()) {
        qCWarning(lcApp).noquote() << problem;
        return std::nullopt;
    }
    const StartFiles files = startFiles(parser.positionalArguments(), QDir::currentPath());
    for (const QString &problem : files.problems)
        qCWarning(lcApp).noquote() << problem;
    start.files = files.paths;
    start.matchLoudness = parser.isSet(QStringLiteral("match-loudness"));
    return start;
}
