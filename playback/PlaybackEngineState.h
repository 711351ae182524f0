#pragma once

// What the engine keeps of each channel; shared by its source files.
#include "ChannelBranch.h"
#include "PlaybackEngine.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlayback)

struct PlaybackEngine::ChannelState
{
    QString fileName;
    Wanted wanted = Wanted::Closed;
    bool reopen = false; // "open" wants the file read anew from its start
    std::unique_ptr<ChannelBranch> branch;
    double volume = 1;
    bool muted = false;
    bool looping = false;
    QString output; // empty: the default output, with the other channel
    qint64 offsetMs = 0;
    OutputUnit *unit = nullptr; // the output its branch feeds
};
