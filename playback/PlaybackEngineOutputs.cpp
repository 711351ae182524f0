// The engine's outputs: which one each channel leaves by, made on first use,
// moved between while playing, and given back when one goes away.
#include "PlaybackEngine.h"
#include "PlaybackEngineState.h"

#include "MixerElement.h"
#include "OutputRouting.h"

#include <algorithm>

// Asked at each start: the sound server may have moved to another device,
// at another rate, since the pipeline was built for the last one; or it may
// be gone, and is then waited for. A channel's own output that is gone
// gives it back to the default one.
void PlaybackEngine::chooseFormat()
{
    m_defaultName = m_options.defaultOutputName ? m_options.defaultOutputName() : QString();
    m_outputs.forgetFormats();
    if (!m_outputs.asksServer())
        return;
    if (!m_outputs.format({}).isValid() && m_sound.serverSeen()) {
        outputLost(QStringLiteral("the sound server does not answer"));
        return;
    }
    for (int i = 0; i < ChannelCount; ++i) {
        const QString device = routeDevice(m_channels[i]->output, m_defaultName);
        if (!device.isEmpty() && !m_outputs.format(device).isValid())
            giveBackToDefault(i);
    }
    if (m_outputs.anyFormatChanged())
        dropPipeline();
}

void PlaybackEngine::giveBackToDefault(int index)
{
    ChannelState &c = *m_channels[index];
    qCWarning(lcPlayback).noquote() << "channel" << index + 1 << "output" << c.output
                                    << "is gone; it plays with the other channel";
    c.output.clear();
    if (outputGivenBack)
        outputGivenBack(index);
}

// The output of the channel's choice, made on first use; null when it
// can't be, and the whole output is lost when the sound server is gone.
OutputUnit *PlaybackEngine::unitFor(int index)
{
    OutputUnit *unit = m_outputs.unitFor(m_pipeline.get(), routeDevice(m_channels[index]->output, m_defaultName),
                                         m_target >= GST_STATE_PAUSED);
    if (!unit && m_outputs.serverGone())
        outputLost(QStringLiteral("the sound server does not answer"));
    return unit;
}

// A channel's new output while its file is open: it moves there between two
// of its buffers, at its own place, while the other plays on.
void PlaybackEngine::moveChannel(int index)
{
    ChannelState &c = *m_channels[index];
    const QString device = routeDevice(c.output, m_defaultName);
    if (!c.branch || !c.unit || c.unit->device() == device || m_outputDown)
        return;
    if (m_outputs.asksServer() && !m_outputs.format(device).isValid())
        return giveBackToDefault(index);
    OutputUnit *to = unitFor(index);
    if (!to)
        return;
    if (!(to->format() == c.unit->format())) {
        // Another rate: its sound is made anew for it, both channels together.
        rebuildAt(positionMs());
        return;
    }
    c.unit = to;
    c.branch->moveTo(to->mixer());
    describeStream();
}

// An output no channel leaves by any more goes once its mixer holds no sound.
void PlaybackEngine::dropIdleUnits()
{
    for (auto &c : m_channels)
        if (!c->branch)
            c->unit = nullptr;
    m_outputs.dropIdle([this](const OutputUnit *unit) {
        return std::any_of(m_channels.begin(), m_channels.end(), [unit](const auto &c) { return c->unit == unit; });
    });
}

// The sound server moves a stream whose output went away (unplugged) to its
// default output; the channel then plays on with the other, in its mix.
void PlaybackEngine::checkOutputsThere()
{
    for (int i = 0; i < ChannelCount; ++i) {
        ChannelState &c = *m_channels[i];
        if (c.unit && c.branch && !c.output.isEmpty() && c.unit->isGone()) {
            giveBackToDefault(i);
            moveChannel(i);
        }
    }
    dropIdleUnits();
}

// Each sound server stream says who plays and what.
void PlaybackEngine::describeStream()
{
    for (const auto &unit : m_outputs.units()) {
        QStringList files;
        for (auto &c : m_channels)
            if (c->unit == unit.get() && c->wanted != Wanted::Closed)
                files << c->fileName;
        SoundOutput::describe(unit->output(), files);
    }
}

void PlaybackEngine::setOutput(int index, const QString &outputName)
{
    m_channels[index]->output = outputName;
    moveChannel(index);
}

OutputFormat PlaybackEngine::mixFormat(int index) const
{
    const OutputUnit *unit = m_channels[index]->unit;
    const auto &units = m_outputs.units();
    return unit ? unit->format() : units.empty() ? OutputFormat{} : units.front()->format();
}

QString PlaybackEngine::output(int index) const { return m_channels[index]->output; }

// Both channels' gains, taken up by their mixers on one frame: a solo
// switch is a crossfade. On two outputs, that frame is the same instant on
// both: the first neither has mixed yet.
void PlaybackEngine::applyVolumes()
{
    for (const auto &unit : m_outputs.units())
        holdMixerChanges(unit->mixer());
    for (int i = 0; i < ChannelCount; ++i)
        applyVolume(i);
    GstClockTime from = 0;
    if (m_outputs.units().size() > 1)
        for (const auto &unit : m_outputs.units())
            from = std::max(from, mixerNextBlockTime(unit->mixer()));
    for (const auto &unit : m_outputs.units())
        releaseMixerChanges(unit->mixer(), from);
}
