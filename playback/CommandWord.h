#pragma once

#include <QString>

#include <optional>

// The words a media channel takes, parsed once where they come in.
enum class CommandWord { Open, Play, Pause, Close };

// Only the exact lower-case words; anything else is no command.
inline std::optional<CommandWord> parseCommandWord(const QString &word)
{
    if (word == QLatin1String("open"))
        return CommandWord::Open;
    if (word == QLatin1String("play"))
        return CommandWord::Play;
    if (word == QLatin1String("pause"))
        return CommandWord::Pause;
    if (word == QLatin1String("close"))
        return CommandWord::Close;
    return std::nullopt;
}
