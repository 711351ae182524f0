#pragma once

#include <QString>

#include <functional>
#include <vector>

// Small media files of every type the player's open dialogs offer, each
// holding one steady tone, written by GStreamer in-process (the MIDI file by
// hand). Nothing is downloaded.
namespace testmedia {

enum class MediaKind { Wav, Mp3, Wma, DatCdxa, DatPlain, Avi, Mid };

// ".wav", ".mp3", ".wma", ".dat", ".avi", ".mid"
QString suffixFor(MediaKind kind);
const char *kindName(MediaKind kind);

// The frequency that a file of this kind really sounds for the asked one:
// MIDI plays the nearest note of the equal-tempered scale.
double soundingFrequency(MediaKind kind, double frequency);

// Amplitude of the tone in the recorded kinds (full scale 1).
constexpr double ToneAmplitude = 0.5;

// Writes dir/fileName (the name is used as given, extension and all: the
// content follows kind) holding a tone of that frequency and length; .avi and
// .dat files get a moving test picture as well. Returns the full path, or an
// empty string when the file could not be made.
QString makeToneFile(const QString &dir, const QString &fileName, MediaKind kind, double frequency,
                     double seconds);

// Wraps an MPEG program stream whose packs are 2324 bytes (as a video CD's
// are) into 2352-byte Mode 2 Form 2 sectors of a RIFF "CDXA" file, like a
// video CD's .dat file copied off the disc.
QByteArray wrapInCdxa(const QByteArray &programStream);

// A file decoded alone, as fast as it goes, to mono samples at this rate.
std::vector<float> decodeMono(const QString &path, int sampleRate);

// A 16-bit stereo WAV written sample by sample: sample(frame, channel) in
// -1..1. Returns the path, or empty when it could not be written.
QString writeWav(const QString &path, double seconds, const std::function<double(int frame, int channel)> &sample,
                 int rate = 48000);
// Its samples, interleaved, as integers.
std::vector<qint32> readWav16(const QString &path);

// A format-0 Standard MIDI File holding one note on a flute.
QByteArray midiFileBytes(int note, double seconds);

} // namespace testmedia
