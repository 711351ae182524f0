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
};

// mono samples in [-1, 1]
std::vector<ToneFinding> findTones(const std::vector<float> &mono, int sampleRate,
                                   const std::vector<double> &frequencies);

// RMS level of a stretch of samples, [from, to) in seconds.
double rmsLevel(const std::vector<float> &mono, int sampleRate, double fromSeconds, double toSeconds);

} // namespace tones
