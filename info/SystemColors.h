#pragma once

#include <QColor>

#include <optional>

// The Windows system colours that the window definitions name, by their
// system colour index.
enum class SystemColor : int {
    COLOR_BACKGROUND = 1,
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_CAPTIONTEXT = 9,
    COLOR_APPWORKSPACE = 12,
    COLOR_INACTIVECAPTIONTEXT = 19,
    COLOR_3DLIGHT = 22,
};

// The colour for a system colour: the application palette's matching role
// where Qt has one, otherwise the colour Windows gives it by default.
QColor systemColor(SystemColor color);

// The same by index; nothing for an index the table doesn't hold.
std::optional<QColor> systemColorByIndex(int index);

class QWidget;

// Applies the system colours a window definition names through the dynamic
// properties "sysBackColor" and "sysForeColor" (system colour indexes) to the
// widget and its descendants.
void applySystemColors(QWidget *root);
