#pragma once

#include <QColor>

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

// Where system colours are taken from: the application palette, which
// follows the desktop theme, or the Windows default scheme.
enum class ColorScheme { Palette, Windows };

// The colour for a system colour in a scheme. In the palette, a colour Qt
// has no role for keeps its Windows value.
QColor systemColor(SystemColor color, ColorScheme scheme);

class QWidget;

// Applies the system colours a window definition names through the dynamic
// properties "sysBackColor" and "sysForeColor" (system colour indexes) to the
// widget and its descendants. A control's text and its ground come from one
// scheme: the palette when both have a role there, so that a theme changes
// them together, otherwise the Windows scheme for both, so that a themed
// text never lands on a fixed ground. A text left at the default is then the
// Windows window text.
void applySystemColors(QWidget *root);
