#pragma once

#include <QtGlobal>

// Whether a JPEG file's bytes reach its end-of-image marker, walked segment
// by segment from past the start-of-image marker. The decoder shows a JPEG
// cut short anyway, its missing part grey; whatever follows the marker
// (metadata, padding) is not the picture's.
bool jpegReachesEndOfImage(const uchar *data, qint64 size);
