#pragma once

#include <QSet>
#include <QString>

class PictureButton;

// The one picture swap: reads the file anew at every call and makes it the
// button's picture. A file that is missing, empty, corrupt or not a JPEG
// leaves the button as it was; each such path is reported once on stderr.
class ButtonImageLoader
{
public:
    // Refuses pictures whose decoded size would pass this many megabytes.
    static constexpr int AllocationLimitMb = 64;

    // The picture is shown at its pixel size divided by devicePixelRatio.
    bool show(PictureButton &button, const QString &path, qreal devicePixelRatio = 1);

private:
    QSet<QString> m_reported;
};
