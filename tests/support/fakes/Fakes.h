#pragma once

#include "OpenFileDialog.h"
#include "Playback.h"

#include <QStringList>

#include <memory>

// One log that fakes write to, so tests see the order across components.
using EventLog = std::shared_ptr<QStringList>;

inline EventLog makeLog() { return std::make_shared<QStringList>(); }

// A media channel that records what it is told: "<name>: open", and
// "<name> file: <path>" for a file name.
class RecordingChannel : public MediaChannel
{
public:
    RecordingChannel(QString name, EventLog log)
        : m_name(std::move(name)), m_log(std::move(log)) {}

    void setFileName(const QString &fileName) override
    {
        m_fileName = fileName;
        m_log->append(m_name + QStringLiteral(" file: ") + fileName);
    }
    void command(const QString &word) override { m_log->append(m_name + QStringLiteral(": ") + word); }

    QString fileName() const { return m_fileName; }

private:
    QString m_name;
    EventLog m_log;
    QString m_fileName;
};

// Two recording channels, "Mmc_1" and "Mmc_2", and the calls beside them:
// "volume <channel> <level>", "mute <channel> <on>", "loop <channel> <on>", "output <channel>: <name>", "match loudness <on>", "seek by <ms>", "seek to <ms>".
class RecordingPlayback : public Playback
{
public:
    explicit RecordingPlayback(EventLog log)
        : m_log(log), m_channels{RecordingChannel(QStringLiteral("Mmc_1"), log), RecordingChannel(QStringLiteral("Mmc_2"), log)} {}

    RecordingChannel &channel(int index) override { return m_channels[index]; }
    void setVolume(int channel, double level) override
    {
        m_volume[channel] = level;
        m_log->append(QStringLiteral("volume %1 %2").arg(channel + 1).arg(level));
    }
    double volume(int channel) const override { return m_volume[channel]; }
    void setMuted(int channel, bool muted) override
    {
        m_muted[channel] = muted;
        m_log->append(QStringLiteral("mute %1 %2").arg(channel + 1).arg(muted));
    }
    bool isMuted(int channel) const override { return m_muted[channel]; }
    void seekBy(qint64 offsetMs) override { m_log->append(QStringLiteral("seek by %1").arg(offsetMs)); }
    void seekTo(qint64 positionMs) override { m_log->append(QStringLiteral("seek to %1").arg(positionMs)); }
    qint64 positionMs() const override { return -1; }
    qint64 durationMs() const override { return -1; }
    void setLooping(int channel, bool looping) override
    {
        m_looping[channel] = looping;
        m_log->append(QStringLiteral("loop %1 %2").arg(channel + 1).arg(looping));
    }
    bool isLooping(int channel) const override { return m_looping[channel]; }
    qint64 channelPositionMs(int channel) const override { return position[channel]; }
    qint64 channelDurationMs(int channel) const override { return duration[channel]; }
    void setOutput(int channel, const QString &name) override
    {
        m_output[channel] = name;
        m_log->append(QStringLiteral("output %1: %2").arg(channel + 1).arg(name));
    }
    QString output(int channel) const override { return m_output[channel]; }
    void setMatchLoudness(bool on) override
    {
        matching = on;
        m_log->append(QStringLiteral("match loudness %1").arg(on));
    }
    bool matchesLoudness() const override { return matching; }
    double loudnessGainDb(int channel) const override { return matchGain[channel]; }
    void setOffset(int channel, qint64 offsetMs) override
    {
        m_offset[channel] = offsetMs;
        m_log->append(QStringLiteral("offset %1 %2").arg(channel + 1).arg(offsetMs));
    }
    qint64 offsetMs(int channel) const override { return m_offset[channel]; }
    void setSolo(int channel) override
    {
        m_solo = channel;
        m_log->append(QStringLiteral("solo %1").arg(channel + 1));
    }
    int solo() const override { return m_solo; }

    // What the channels report; a test sets them.
    qint64 position[ChannelCount] = {-1, -1};
    qint64 duration[ChannelCount] = {-1, -1};
    bool matching = false;
    double matchGain[ChannelCount] = {0, 0};

private:
    EventLog m_log;
    RecordingChannel m_channels[ChannelCount];
    double m_volume[ChannelCount] = {1, 1};
    bool m_muted[ChannelCount] = {false, false};
    bool m_looping[ChannelCount] = {false, false};
    QString m_output[ChannelCount];
    qint64 m_offset[ChannelCount] = {0, 0};
    int m_solo = -1;
};

// An open-file dialog that answers from a script: each use takes the next
// answer (an empty answer is a cancel); with none left it cancels.
class ScriptedDialog : public OpenFileDialog
{
public:
    ScriptedDialog(QString name, EventLog log)
        : m_name(std::move(name)), m_log(std::move(log)) {}

    void answer(const QString &fileName) { m_answers.append(fileName); }

    void showOpen() override
    {
        m_log->append(m_name + QStringLiteral(": show"));
        m_fileName = m_answers.isEmpty() ? QString() : m_answers.takeFirst();
    }
    QString fileName() const override { return m_fileName; }

private:
    QString m_name;
    EventLog m_log;
    QStringList m_answers;
    QString m_fileName;
};
