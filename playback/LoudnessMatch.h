#pragma once

#include "LoudnessMeter.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <optional>

// Both channels at the loudness of the quieter: each file is measured when
// it is given, in the background; once both are known and matching is on,
// the louder channel's gain moves down to match (Loudness.h has the law) in
// steps over half a second, so that it comes in with a fade rather than a
// jump. A file that can't be measured keeps its own level, and so does the
// other beside it.
class LoudnessMatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int Channels = 2;

    LoudnessMatch();

    void measure(int channel, const QString &fileName);
    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }
    // The channel's file's integrated loudness (LUFS), once measured.
    std::optional<double> loudness(int channel) const { return m_lufs[channel]; }
    // The gain now given to the channel, in dB (0 or below).
    double gainDb(int channel) const { return m_now[channel]; }

signals:
    void gainsChanged();

private:
    double targetDb(int channel) const;
    void step();

    std::array<std::unique_ptr<LoudnessMeter>, Channels> m_meters;
    std::array<QString, Channels> m_files;
    std::array<std::optional<double>, Channels> m_lufs;
    std::array<double, Channels> m_now{};
    bool m_enabled = false;
    QTimer m_fade;
};
