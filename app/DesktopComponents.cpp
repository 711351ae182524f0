#include "DesktopComponents.h"

#include "PlaybackEngine.h"
#include "QtOpenFileDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

Frm_MainComponents desktopComponents(WindowSlot<Frm_Help> &helpSlot, WindowSlot<Frm_About> &aboutSlot)
{
    Frm_MainComponents components;
    components.programFolder = [] { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()); };
    components.makePlayback = [] {
        auto engine = std::make_unique<PlaybackEngine>();
        // Once the event loop runs, that is once the window is up.
        QTimer::singleShot(0, engine.get(), &PlaybackEngine::warmUp);
        return engine;
    };
    components.makeDialog = [](const OpenFileDialogSettings &settings, QWidget *parent) {
        return std::make_unique<QtOpenFileDialog>(settings, parent);
    };
    components.helpSlot = &helpSlot;
    components.aboutSlot = &aboutSlot;
    return components;
}
