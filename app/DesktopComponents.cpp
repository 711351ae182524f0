#include "DesktopComponents.h"

#include "GstMediaChannel.h"
#include "QtOpenFileDialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QScreen>

Frm_MainComponents desktopComponents(WindowSlot<Frm_Help> &helpSlot, WindowSlot<Frm_About> &aboutSlot)
{
    Frm_MainComponents components;
    components.programFolder = [] { return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()); };
    components.makeChannel = [] { return std::make_unique<GstMediaChannel>(); };
    components.makeDialog = [](const OpenFileDialogSettings &settings, QWidget *parent) {
        return std::make_unique<QtOpenFileDialog>(settings, parent);
    };
    components.helpSlot = &helpSlot;
    components.aboutSlot = &aboutSlot;
    return components;
}

void centreOnScreen(QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
}
