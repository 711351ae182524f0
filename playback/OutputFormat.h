#pragma once

#include <QString>

#include <optional>

// The sound output's own sample format, rate and channel count. The mix is
// made at that rate and handed over in that format, so nothing after the
// engine converts or resamples it.
struct OutputFormat
{
    QString sampleFormat; // GStreamer's name: "S16LE", "F32LE", ...
    int rate = 0;
    int channels = 0;

    bool isValid() const { return !sampleFormat.isEmpty() && rate > 0 && channels > 0; }
    bool operator==(const OutputFormat &) const = default;
};

// What the engine mixes at when the output says nothing of its own.
inline OutputFormat defaultOutputFormat() { return {QStringLiteral("F32LE"), 48000, 2}; }
