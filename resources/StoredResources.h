#pragma once

#include <QPixmap>
#include <QString>

// Registers the stored pictures and the icon (":/pictures/...", ":/icons/...").
// A static library's resources only register when asked; safe to call often.
void initStoredResources();

// A stored picture as the window definitions load it: on a screen scaled
// above 100 % its double-size drawing ("name@2x.jpg") where there is one,
// shown at the same size as the plain picture.
QPixmap storedPicture(const QString &path);
