#pragma once

#include <gst/gst.h>

// Our mixer: adds the sound of its request pads (sink_%u), interleaved
// 32-bit float in the mix's one format, each pad at its own gain: its
// `volume` (0..10) unless `mute`. A new gain is taken up at the start of the
// next output block, for all pads together, and reached by an equal-power
// ramp (GainRamp): two pads changed at once crossfade from the same frame.
// A pad that starts anew (new, flushed, or after a discontinuity) is at its
// gain at once. Floating, like the elements of a factory.
GstElement *createMixerElement();

// While held, new gains wait, so that gains set on several pads one after
// another all start on the same frame once let go: the frame of running
// time `from`, or the first of the next block if that has been mixed.
void holdMixerChanges(GstElement *mixer);
void releaseMixerChanges(GstElement *mixer, GstClockTime from = 0);

// The running time the block after the one being mixed starts on: the
// earliest a change can start on every output (0 before the first block).
GstClockTime mixerNextBlockTime(GstElement *mixer);
