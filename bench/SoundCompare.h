#pragma once

// What was heard against what the files hold, sample for sample: 16-bit
// integers, stereo interleaved, as the null sink's monitor gives them.
#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

namespace bench {

using Samples = std::vector<qint32>;

// A 16-bit stereo WAV; sample(frame, channel) in -1..1, rounded to 1/32767.

// Steady tones a third of an octave apart from 31.5 Hz to 16 kHz, equally
// loud (pink, as music is on average), at random phases in each channel:
// known at any instant, so a file of it at one rate can be compared with
// what is heard at another. About -20 dBFS, peaks under half of full scale.
class ToneMix
{
public:
    explicit ToneMix(quint32 seed);
    double at(double seconds, int channel) const; // -1..1

private:
    struct Tone
    {
        double frequency;
        double phase[2];
    };
    std::vector<Tone> m_tones;
    double m_amplitude = 0;
};

struct Fidelity
{
    bool aligned = false;
    double equalShare = -1;   // of the samples compared, equal to the expected ones
    double differenceDb = -1; // the expected's level over the difference's; infinite when equal
    double gain = 0;          // heard over expected, least squares
    // Frames silent at the start where the files sound (a start the sound
    // server dropped), and the share of samples equal after them.
    qsizetype silentStart = 0;
    double equalShareAfter = -1;
};

// Heard against the expected samples over `frames` frames from the
// expected's first, aligned at the whole frame where they correlate best.
Fidelity compareExact(const Samples &heard, const Samples &expected, int frames);

// Heard at `rate` against the tone mix over `frames` frames, aligned to a
// small fraction of a frame: a resampler's own delay is no fault, what it
// changes in the sound is.
Fidelity compareWithTones(const Samples &heard, const ToneMix &mix, int rate, int frames);

struct Loudness
{
    qint64 fullScale = 0; // samples at 32767 or -32768
    double peakDbfs = 0;
    double levelDb = 0; // energy against the unclipped sum's
};

// What was heard (all of it, silence around it included) against the sum of
// the files it played, unclipped.
Loudness loudness(const Samples &heard, const Samples &plainSum);

// The sum of the files sample by sample, clipped to 16 bits unless asked not to.
Samples plainSum(const Samples &a, const Samples &b, bool clip);

} // namespace bench
