#pragma once

class QWidget;

// Puts a top-level window in the middle of its screen's available area:
// by its client area at once, and by its frame again once the window
// manager has given it one.
void centreOnScreen(QWidget *window);
