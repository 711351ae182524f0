#pragma once

#include <algorithm>
#include <cstdint>

// Where a channel's file sits on the pipeline's running time.
//
// The timeline (what positions and seeks are in) reads `timelineAtZero` at
// running time 0, and a channel plays its file at timeline − offset. A
// branch that can start no earlier than running time `earliest` (0 after a
// seek of the whole pipeline; later when it jumps alone while the other
// plays) reads its file from `fileStart` with its pad offset at
// `padOffset`, so that file position x comes at running time
// x − fileStart + padOffset. All in nanoseconds.
struct ChannelPlacement
{
    int64_t fileStart = 0;
    int64_t padOffset = 0;
};

inline ChannelPlacement placeChannel(int64_t timelineAtZero, int64_t offset, int64_t earliest)
{
    ChannelPlacement placement;
    placement.fileStart = std::max<int64_t>(0, earliest + timelineAtZero - offset);
    placement.padOffset = placement.fileStart + offset - timelineAtZero;
    return placement;
}
