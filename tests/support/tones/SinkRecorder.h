#pragma once

#include <memory>
#include <vector>

class QProcess;

namespace tones {

// Records the monitor of the PulseAudio null sink that scripts/with-test-env.sh
// starts, as mono float samples at SampleRate.
class SinkRecorder
{
public:
    static constexpr int SampleRate = 48000;

    SinkRecorder();
    ~SinkRecorder();

    bool start();              // false when no sound server answers
    std::vector<float> stop(); // everything recorded since start()
    double elapsedSeconds() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace tones
