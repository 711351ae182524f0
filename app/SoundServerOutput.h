#pragma once

#include <QList>
#include <QString>

// One of the sound server's outputs (a sink): the name the server knows it by
// and the description it shows people.
struct SoundServerOutput
{
    QString name;
    QString description;
    bool operator==(const SoundServerOutput &) const = default;
};

using SoundServerOutputs = QList<SoundServerOutput>;
