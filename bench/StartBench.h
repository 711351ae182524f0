#pragma once

// How soon and how together both channels sound after a click on Play,
// heard on the null sink with the real program driven by xdotool.
#include "MediaFiles.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace bench {

using testmedia::MediaKind;

// The six kinds the open dialogs offer, by their suffix: wav mp3 wma dat avi mid.
const std::vector<MediaKind> &allKinds();
MediaKind kindNamed(const QString &name);
QString kindLabel(MediaKind kind);

double median(std::vector<double> values); // -1 when empty

struct StartFigures
{
    double clickToSoundMs = -1; // the later channel's first sound
    double skewMs = -1;         // between the two channels' first sound
    double worstSkewMs = -1;    // the largest of the runs
    double resumeSkewMs = -1;   // the same after Pause then Play
    int heard = 0;              // runs in which both channels were heard
    int runs = 0;
};

// Both channels chosen once, then Play, Pause, Play, Stop, `runs` times;
// medians over the runs.
StartFigures measureStarts(const QString &program, MediaKind kind1, MediaKind kind2, int runs);

// The silence before both tones of measureOutputSkew: short, so that a tone
// still starts well inside the 0.7 s of Play on a loaded machine, where Play
// took up to 0.4 s to sound.
constexpr double LeadInSeconds = 0.1;

// The program started with the two tone files on its command line, channel
// 2 on `secondOutput` (a null sink; none: both on the default output), then
// as measureStarts. The `recorded` sinks' monitors are recorded on one clock,
// channel 1's tone looked for in the first's, channel 2's in the last's.
StartFigures measureOutputSkew(const QString &program, const QStringList &recorded, const QString &secondOutput,
                               int runs);

struct FirstPlayFigures
{
    double medianMs = -1;
    double worstMs = -1;
    int heard = 0;
    int starts = 0;
};

// The program started afresh `starts` times: both files chosen, then the
// first click on Play of its life.
FirstPlayFigures measureFirstPlay(const QString &program, MediaKind kind1, MediaKind kind2, int starts);

struct ChangeFigures
{
    double medianMs = -1; // from the event to the change heard
    double worstMs = -1;
    int heard = 0; // changes heard
    int runs = 0;
};

struct KeyToSoundFigures
{
    ChangeFigures volumeStep; // the wheel over channel 1's button, to 0 and back
    ChangeFigures soloSwitch; // the keys 1, 2 and 0 in turn
};

// The program started with the two tone files on its command line and
// playing; then `runs` volume steps of the wheel, each taking channel 1 to 0
// or back to 100 %, and `runs` solo switches. Each is timed from the event
// reaching the X server to its channel's tone crossing half its level.
KeyToSoundFigures measureKeyToSound(const QString &program, int runs);

} // namespace bench
