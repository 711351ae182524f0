#include "CommandLine.h"
#include "DesktopComponents.h"
#include "Frm_About.h"
#include "Frm_Help.h"
#include "MprisPlayer.h"
#include "SoundServerFormat.h"
#include "TandraVersion.h"
#include "WindowPlacement.h"
#include "WindowSlot.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QPointer>

namespace {

QtMessageHandler qtMessageHandler = nullptr;

// Qt 6.4 counts a list view's children on the model's top level rather than
// under the folder a file dialog shows, so a screen reader walking a dialog
// on an empty folder has Qt warn of the cells that aren't there. Only that
// warning is dropped.
void dropEmptyListWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QAccessibleTable::child: Invalid index at:")))
        return;
    qtMessageHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    // Quiet in normal use: only warnings of real faults. QT_LOGGING_RULES,
    // read after these, turns the rest back on.
    QLoggingCategory::setFilterRules(QStringLiteral("tandra.*.info=false\ntandra.*.debug=false"));
    qtMessageHandler = qInstallMessageHandler(dropEmptyListWarning);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tandra"));
    QApplication::setApplicationVersion(QStringLiteral(TANDRA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.example.tandra"));
    const std::optional<CommandLineStart> start = startFromCommandLine(app, [] { return soundServerOutputs(); });
    if (!start)
        return 2;

    // The help and about windows live beside the main window, not in it.
    WindowSlot<Frm_Help> helpSlot;
    WindowSlot<Frm_About> aboutSlot;

    auto *mainWindow = new Frm_Main(desktopComponents(helpSlot, aboutSlot));
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    // Attached first, so that the desktop hears of the files given.
    MprisPlayer::attach(*mainWindow);
    if (start->matchLoudness)
        mainWindow->setMatchLoudness(true);
    for (int channel = 0; channel < 2; ++channel) {
        if (!start->outputs.channels[channel].name.isEmpty())
            mainWindow->setChannelOutput(channel, start->outputs.channels[channel]);
        if (start->offsets.channels[channel] != 0)
            mainWindow->setChannelOffset(channel, start->offsets.channels[channel]);
    }
    for (int channel = 0; channel < start->files.size(); ++channel)
        mainWindow->openFile(channel, start->files[channel]);
    centreOnScreen(mainWindow);
    mainWindow->show();

    const int status = QApplication::exec();

    // Exit leaves windows open; tear them down before the application goes.
    QList<QPointer<QWidget>> remaining;
    for (QWidget *window : QApplication::topLevelWidgets())
        remaining << window;
    for (const QPointer<QWidget> &window : remaining)
        delete window.data();
    return status;
}
