#include "OutputSet.h"

#include "SoundOutput.h"

#include <QLoggingCategory>

#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcPlayback)

OutputSet::OutputSet(SoundOutput &sound, AskFormat askFormat)
    : m_sound(sound)
    , m_askFormat(std::move(askFormat))
{
}

OutputFormat OutputSet::format(const QString &device)
{
    if (!m_askFormat)
        return {};
    auto known = m_formats.find(device);
    if (known == m_formats.end()) {
        const std::optional<OutputFormat> asked = m_askFormat(device);
        known = m_formats.emplace(device, asked && asked->isValid() ? *asked : OutputFormat{}).first;
    }
    return known->second;
}

bool OutputSet::anyFormatChanged()
{
    return std::any_of(m_units.begin(), m_units.end(), [this](const auto &unit) {
        const OutputFormat asked = format(unit->device());
        return asked.isValid() && !(asked == unit->format());
    });
}

OutputUnit *OutputSet::unitFor(GstElement *pipeline, const QString &device, bool playing)
{
    for (const auto &unit : m_units)
        if (unit->device() == device)
            return unit.get();
    GstElement *output = m_sound.make(device);
    m_serverGone = !output && m_sound.serverSeen();
    if (m_serverGone)
        return nullptr;
    std::unique_ptr<OutputUnit> unit = OutputUnit::create(pipeline, output, device, format(device));
    if (!unit) {
        qCWarning(lcPlayback) << "the sound pipeline could not be built";
        return nullptr;
    }
    // Made while the pipeline runs on another clock: it follows that one.
    unit->setClockRole(false);
    unit->syncWithPipeline(playing);
    m_units.push_back(std::move(unit));
    return m_units.back().get();
}

void OutputSet::dropIdle(const std::function<bool(const OutputUnit *)> &used)
{
    std::erase_if(m_units, [&](const auto &unit) {
        return !used(unit.get()) && GST_ELEMENT(unit->mixer())->numsinkpads == 0;
    });
}

// One output runs the pipeline on its own clock, so that its stream is never
// corrected. Several all follow the system's alike, so that they start on the
// same instant: one following another's clock would start late by its
// stream's own start-up.
void OutputSet::chooseClock(GstElement *pipeline)
{
    const bool one = m_units.size() == 1;
    for (const auto &unit : m_units)
        unit->setClockRole(one);
    if (one) {
        gst_pipeline_auto_clock(GST_PIPELINE(pipeline));
    } else {
        GstClock *system = gst_system_clock_obtain();
        gst_pipeline_use_clock(GST_PIPELINE(pipeline), system);
        gst_object_unref(system);
    }
}
