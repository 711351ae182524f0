#pragma once

#include <QString>

// One media channel: it is given a file name and the command words "open",
// "play", "pause" and "close", and keeps all of its state itself. Nothing is
// read back, and no command ever fails into its caller: a command that can't
// be carried out does nothing visible.
class MediaChannel
{
public:
    virtual ~MediaChannel() = default;

    // Takes effect at the next "open".
    virtual void setFileName(const QString &fileName) = 0;
    // Any other word is ignored.
    virtual void command(const QString &word) = 0;
};
