#include "DesktopComponents.h"

#include "PlaybackEngine.h"
#include "QtOpenFileDialog.h"
#include "SoundServerFormat.h"

#include <QCoreApplication>
#include <QDir>

Frm_MainComponents desktopComponents(WindowSlot<Frm_Help> &helpSlot, WindowSlot<Frm_About> &aboutSlot)
{
    Frm_MainComponents components;
    components.programFolder = [] { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()); };
    components.makePlayback = [] {
        EngineOptions options;
        options.outputFormat = [](const QString &outputName) { return soundServerFormat(outputName); };
        options.defaultOutputName = [] { return soundServerDefaultOutput(); };
        return std::make_unique<PlaybackEngine>(options);
    };
    components.makeDialog = [](const OpenFileDialogSettings &settings, QWidget *parent) {
        return std::make_unique<QtOpenFileDialog>(settings, parent);
    };
    components.listOutputs = [] { return soundServerOutputs(); };
    components.helpSlot = &helpSlot;
    components.aboutSlot = &aboutSlot;
    return components;
}
