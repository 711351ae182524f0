#pragma once

#include <QStringList>

#include <memory>
#include <vector>

class QProcess;

namespace tones {

// Records the monitor of the null sink that scripts/with-test-env.sh
// starts, as mono float samples at SampleRate.
//
// Sample 0 of the recording is elapsedSeconds() == 0, so a time taken with
// elapsedSeconds() when something is started can be compared with
// ToneFinding::firstHeardSeconds. The recorder itself adds about 20 ms of
// uncertainty; what a player buffers before its sound reaches the sink is not
// included.
class SinkRecorder
{
public:
    static constexpr int SampleRate = 48000;

    // Mono, or the sink's own channels interleaved (samples exact: n / 32768).
    explicit SinkRecorder(int channels = 1);
    // Several null sinks' monitors, each as one mono channel, interleaved in
    // that order; recorded by one pipeline, so on one clock.
    explicit SinkRecorder(const QStringList &sinks);
    ~SinkRecorder();

    bool start();              // false when no sound server answers
    std::vector<float> stop(); // everything recorded since start()
    std::vector<float> soFar() const; // what has reached the file so far, recording on
    double elapsedSeconds() const;

    bool isRecording() const;
    QString errorString() const; // why start() failed, for QSKIP/QVERIFY2 messages

private:
    bool startOnce();

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace tones
