#include "CommandLine.h"

#include "AppLog.h"

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

void describeCommandLine(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Plays two media files at the same time."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("FILE1"), QStringLiteral("A media file for channel 1."), QStringLiteral("[FILE1"));
    parser.addPositionalArgument(QStringLiteral("FILE2"), QStringLiteral("A media file for channel 2."), QStringLiteral("[FILE2]]"));
}

QStringList filesFromCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(app);

    const StartFiles start = startFiles(parser.positionalArguments(), QDir::currentPath());
    for (const QString &problem : start.problems)
        qCWarning(lcApp).noquote() << problem;
    return start.paths;
}
