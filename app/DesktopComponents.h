#pragma once

#include "Frm_Main.h"

// The real parts of the main window: GStreamer channels, Qt file dialogs and
// the folder the program runs from.
Frm_MainComponents desktopComponents(WindowSlot<Frm_Help> &helpSlot, WindowSlot<Frm_About> &aboutSlot);
