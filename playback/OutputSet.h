#pragma once

#include "OutputFormat.h"
#include "OutputUnit.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class SoundOutput;

// The outputs in use, an OutputUnit each in the pipeline, found by the sound
// server's name for them ("" the default), and what the server said of each
// at the last start.
class OutputSet
{
public:
    using AskFormat = std::function<std::optional<OutputFormat>(const QString &outputName)>;

    OutputSet(SoundOutput &sound, AskFormat askFormat);

    // Each start asks anew: the server may have changed since.
    void forgetFormats() { m_formats.clear(); }
    // The server's answer for an output, asked once a start; invalid when
    // it has none. Nobody to ask (a test's output): none asked, all fine.
    OutputFormat format(const QString &device);
    bool asksServer() const { return bool(m_askFormat); }
    // A unit made for a format its output has left.
    bool anyFormatChanged();

    // The unit of an output, made on first use in the pipeline's state
    // (`playing`: without holding the others up). Null when it can't be:
    // serverGone() then says whether the sound server has gone.
    OutputUnit *unitFor(GstElement *pipeline, const QString &device, bool playing);
    bool serverGone() const { return m_serverGone; }
    // Units that no channel uses and whose mixers hold no sound go.
    void dropIdle(const std::function<bool(const OutputUnit *)> &used);
    void chooseClock(GstElement *pipeline);
    void clear() { m_units.clear(); }
    const std::vector<std::unique_ptr<OutputUnit>> &units() const { return m_units; }

private:
    SoundOutput &m_sound;
    AskFormat m_askFormat;
    std::map<QString, OutputFormat> m_formats;
    std::vector<std::unique_ptr<OutputUnit>> m_units;
    bool m_serverGone = false;
};
