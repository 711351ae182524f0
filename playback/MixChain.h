#pragma once

#include "GstHandles.h"
#include "OutputFormat.h"

#include <optional>

// The shared end of the pipeline:
//   audiomixer ! mix format ! limiter ! audioconvert ! output format ! output
// The branches bring their sound to the output's own rate and channels as
// 32-bit float (mixCaps), the mixer adds, and the limiter keeps the sum
// under full scale. Converting back to the output's samples adds no dither,
// so a sample that went in comes out unchanged.
struct MixChain
{
    GstElementRef pipeline;
    GstElement *mixer = nullptr; // owned by the pipeline
    GstCaps *mixCaps = nullptr;  // owned here
    OutputFormat format;

    MixChain() = default;
    MixChain(MixChain &&other) noexcept { *this = std::move(other); }
    MixChain &operator=(MixChain &&other) noexcept;
    ~MixChain();

    // Takes the output (a floating element with a sink pad). The format is
    // `asked` when valid, else the one format the output takes, else
    // defaultOutputFormat(). Nothing when an element is missing or the
    // output refuses the mix.
    static std::optional<MixChain> build(GstElement *output, const OutputFormat &asked);
};

// The format an output takes when it takes only one (a device at a fixed
// rate); invalid when it takes many.
OutputFormat formatTakenBy(GstElement *output);
