#pragma once

#include "OutputFormat.h"

#include <optional>

// The default sink's sample format as the sound server (PulseAudio, or
// PipeWire through its PulseAudio service) reports it; nothing when no
// server answers within timeoutMs or its format has no GStreamer name.
std::optional<OutputFormat> soundServerFormat(int timeoutMs = 500);

// The GStreamer name of a PulseAudio sample format, or empty.
QString gstFormatOfPulse(int pulseFormat);
