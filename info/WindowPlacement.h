#pragma once

class QWidget;

// Puts a top-level window in the middle of the primary screen's available
// area.
void centreOnScreen(QWidget *window);
