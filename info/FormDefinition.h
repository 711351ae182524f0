#pragma once

class QWidget;

// Completes what uic builds from a window definition with the settings a .ui
// file has no element for: fractional point sizes (dynamic property
// "pointSizeF", which also marks the fonts that get stand-in families) and
// system colours ("sysBackColor", "sysForeColor").
void completeFormDefinition(QWidget *form);

class QAbstractButton;
class QKeyEvent;

// Enter and Escape press the window's one button; true when the key was one.
bool pressOnEnterOrEscape(QKeyEvent *event, QAbstractButton *button);
