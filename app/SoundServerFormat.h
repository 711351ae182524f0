#pragma once

#include "OutputFormat.h"
#include "SoundServerOutput.h"

#include <optional>

// A sink's sample format as the sound server (PulseAudio, or PipeWire
// through its PulseAudio service) reports it, by the sink's name (empty: the
// default sink); nothing when no server answers within timeoutMs, there is
// no such sink, or its format has no GStreamer name.
std::optional<OutputFormat> soundServerFormat(const QString &sinkName = {}, int timeoutMs = 500);

// The name of the sound server's default output; empty when none answers.
QString soundServerDefaultOutput(int timeoutMs = 500);

// The sound server's outputs in its own order; none when no server answers
// within timeoutMs.
SoundServerOutputs soundServerOutputs(int timeoutMs = 500);

// The GStreamer name of a PulseAudio sample format, or empty.
QString gstFormatOfPulse(int pulseFormat);
