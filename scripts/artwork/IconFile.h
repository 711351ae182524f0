#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

// Writes Windows .ico data by hand: Qt's own ICO writer stores 32-bit images
// only, and the program icon also carries 16- and 256-colour versions for
// old shells and small colour depths.
namespace IconFile {

// One image of the icon: its picture (any size up to 256) and the bit depth
// it is stored with, 4 (16 colours), 8 (256 colours) or 32 (BGRA).
struct Entry
{
    QImage image;
    int bitCount;
};

QByteArray encode(const QList<Entry> &entries);

// Fixed palettes used for the paletted depths, exposed for checks.
QList<QRgb> palette(int bitCount);

} // namespace IconFile
