#pragma once

#include <QString>

typedef struct _GstElement GstElement;

// MIDI synthesisers with the General MIDI soundfont loaded ahead of Play.
// Loading the 148 MB soundfont takes about a second; one synthesiser that
// holds it for the rest of the run keeps its samples in fluidsynth's cache,
// and a fresh one for each file (a used one would carry its last notes
// into the next start) then loads in about a tenth of that, in the
// background.
namespace synthpool {

// Whether a file is a Standard MIDI File, by its content.
bool isMidiFile(const QString &fileName);

// Starts loading in the background, once.
void prepare();

// A fresh synthesiser in READY with the soundfont loaded, owned by the
// caller; waits for a background load under way. Null when none can be
// made. Safe on any thread.
GstElement *acquire();

} // namespace synthpool
