// The bytes are a command line: its arguments apart by NUL bytes, as the
// program's argv would hold them. Parsing must not end the process, and the
// channels get full paths while the user hears about every file not taken,
// and outputs only from those there are.
#include "CommandLine.h"
#include "FuzzCheck.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

namespace {

QString workingFolder()
{
    static QTemporaryDir dir;
    static const bool made = [] {
        for (const char *name : {"a.wav", "b.mp3"})
            QFile(dir.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
        return QDir(dir.path()).mkdir(QStringLiteral("sub"));
    }();
    Q_UNUSED(made);
    return dir.path();
}

void checkStartFiles(const QStringList &names)
{
    const StartFiles start = startFiles(names, workingFolder());
    FUZZ_CHECK(start.paths.size() == std::min<qsizetype>(2, names.size()));
    qsizetype reported = 0;
    for (qsizetype i = 0; i < start.paths.size(); ++i) {
        const QString &path = start.paths[i];
        const QString channel = QStringLiteral("channel %1").arg(i + 1);
        if (names[i].isEmpty()) {
            FUZZ_CHECK(path.isEmpty());
            FUZZ_CHECK(start.problems.value(reported++).contains(channel));
            continue;
        }
        // The full path of the name in the working folder, cleaned; a final
        // separator stays, as "name/" names no file.
        const QString clean = QDir::cleanPath(path);
        FUZZ_CHECK(path == clean || path == clean + u'/');
        const QString &name = names[i];
        FUZZ_CHECK(clean == QDir::cleanPath(name.startsWith(u'/') ? name : workingFolder() + u'/' + name));
        const QFileInfo file(path);
        if (!file.isFile() || !file.isReadable()) {
            // The message names the very path the channel takes.
            const QString problem = start.problems.value(reported++);
            FUZZ_CHECK(problem.startsWith(path + QStringLiteral(" is not a readable file")));
            FUZZ_CHECK(problem.endsWith(channel + QStringLiteral(" takes it all the same")));
        }
    }
    if (names.size() > 2)
        FUZZ_CHECK(start.problems.value(reported++).endsWith(names.mid(2).join(u' ')));
    FUZZ_CHECK(start.problems.size() == reported);
}

void checkOutputs(const QCommandLineParser &parser)
{
    const SoundServerOutputs outputs{{QStringLiteral("a"), QStringLiteral("b")},
                                     {QStringLiteral("b"), QStringLiteral("a")}};
    const StartOutputs start = startOutputs(parser, [&] { return outputs; });
    for (const SoundServerOutput &channel : start.channels)
        FUZZ_CHECK(channel.name.isEmpty() || outputs.contains(channel));
    // An unknown one: every output listed.
    FUZZ_CHECK(start.problem.isEmpty() || start.problem.endsWith(QStringLiteral("\n  a\tb\n  b\ta")));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QStringList arguments{QStringLiteral("tandra")};
    if (size > 0) {
        const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
        for (const QByteArray &argument : bytes.split('\0'))
            arguments << QString::fromLocal8Bit(argument);
    }

    QCommandLineParser parser;
    describeCommandLine(parser);
    if (parser.parse(arguments)) {
        FUZZ_CHECK(parser.unknownOptionNames().isEmpty());
        checkStartFiles(parser.positionalArguments());
        checkOutputs(parser);
    } else {
        FUZZ_CHECK(!parser.errorText().isEmpty());
    }
    // The names as given, whatever the options would have made of them.
    checkStartFiles(arguments.mid(1));
    return 0;
}
