#pragma once

#include <vector>

// Which test tones a recording holds, and when each was first heard.
namespace tones {

struct ToneFinding
{
    double frequency = 0;
    bool present = false;
    double firstHeardSeconds = -1; // from the start of the recording
    double heardSeconds = 0;       // total time the tone was heard
    double level = 0;              // peak amplitude of the tone while heard, 0..1 (1 = full scale)
};

// How findTones listens. A tone is heard in a window when it holds at least
// MinShare of the window's power and its amplitude reaches MinLevelDbfs; it
// counts once it is heard in MinWindows windows in a row. Two tones need to be
// about 100 Hz apart to be told apart; onsets and ends are found to a few ms.
// A break shorter than a window (40 ms) is not seen and counts as heard; a
// tone shorter than a window is found, with heardSeconds of about 20-40 ms.
inline constexpr double WindowSeconds = 0.040;
inline constexpr double HopSeconds = 0.010;
inline constexpr double MinShare = 0.03; // about -15 dB below everything else
inline constexpr double MinLevelDbfs = -60;
inline constexpr int MinWindows = 2;

// mono samples in [-1, 1]
std::vector<ToneFinding> findTones(const std::vector<float> &mono, int sampleRate,
                                   const std::vector<double> &frequencies);

// RMS level of a stretch of samples, [from, to) in seconds.
// Bounds are clipped to the recording; an empty stretch gives 0.
double rmsLevel(const std::vector<float> &mono, int sampleRate, double fromSeconds, double toSeconds);

// When a tone starts, to about a millisecond: the first moment from
// fromSeconds on at which its amplitude, measured over 20 ms, reaches half
// of its peak in the rest of the recording; -1 when it is not there. Two
// tones that start together get the same figure whatever their levels.
double onsetSeconds(const std::vector<float> &mono, int sampleRate, double frequency, double fromSeconds = 0);

} // namespace tones
