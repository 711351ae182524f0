#pragma once

#include <QString>

typedef struct _GstElement GstElement;

// MIDI synthesisers with the General MIDI soundfont loaded ahead of Play.
// Loading the 148 MB soundfont takes about a second. While one synthesiser
// holds it, its samples stay in fluidsynth's cache and the next one loads in
// about a tenth of that; a fresh one is made for each file (a used one would
// carry its last notes into the next start), in the background.
namespace synthpool {

// Whether a file is a Standard MIDI File, by its content.
bool isMidiFile(const QString &fileName);

// Starts loading in the background, once.
void prepare();

// A fresh synthesiser in READY with the soundfont loaded, owned by the
// caller; waits for a background load under way. Null when none can be
// made. Safe on any thread.
GstElement *acquire();
// Takes one back from a bin that has stopped, to be destroyed on the loading
// thread: fluidsynth must not unload a soundfont while it loads one.
void retire(GstElement *synth);

} // namespace synthpool
