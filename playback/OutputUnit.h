#pragma once

#include "GstHandles.h"
#include "OutputFormat.h"

#include <QString>

#include <memory>

// One output in use, in the shared pipeline:
//   mixer ! mix format ! limiter ! audioconvert ! output format ! output
// The channels leaving by it bring their sound to the output's own rate and
// channels as 32-bit float (mixCaps), the mixer (MixerElement) adds, and the
// limiter keeps the sum under full scale. Converting back to the output's samples adds no
// dither, so a sample that went in comes out unchanged. Each output has its
// own stream on the sound server; all run on the pipeline's one clock.
class OutputUnit
{
public:
    // Takes the output (a floating element with a sink pad) into pipeline.
    // The format is `asked` when valid, else the one format the output
    // takes, else defaultOutputFormat(). Null when an element is missing or
    // the output refuses the mix.
    static std::unique_ptr<OutputUnit> create(GstElement *pipeline, GstElement *output, const QString &device,
                                              const OutputFormat &asked);
    // Leaves the pipeline, whatever its state.
    ~OutputUnit();

    OutputUnit(const OutputUnit &) = delete;
    OutputUnit &operator=(const OutputUnit &) = delete;

    // Takes the pipeline's state; in one that already plays, without
    // holding the others up.
    bool syncWithPipeline(bool playing);
    // Whether the pipeline runs on this output's clock; one that doesn't
    // follows the pipeline's clock, whichever it is.
    void setClockRole(bool provides);

    // The sound server's name of the output; empty: the default one.
    const QString &device() const { return m_device; }
    GstElement *mixer() const { return m_mixer; }
    GstCaps *mixCaps() const { return m_mixCaps.get(); }
    GstElement *output() const { return m_output; }
    const OutputFormat &format() const { return m_format; }
    bool contains(GstObject *object) const;
    // The sound server moved its stream off the chosen output: it is gone.
    bool isGone() const;

private:
    OutputUnit() = default;

    GstElement *m_pipeline = nullptr;
    QString m_device;
    OutputFormat m_format;
    GstCapsRef m_mixCaps;
    GstElement *m_mixer = nullptr;  // these held by the pipeline
    GstElement *m_output = nullptr;
    std::vector<GstElement *> m_elements;
};

// The format an output takes when it takes only one (a device at a fixed
// rate); invalid when it takes many.
OutputFormat formatTakenBy(GstElement *output);
