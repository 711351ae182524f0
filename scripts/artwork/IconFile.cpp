#include "IconFile.h"

#include <QtEndian>

#include <climits>

namespace {

void put16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// Bitmap rows are padded to whole 32-bit words.
int rowBytes(int width, int bitCount)
{
    return (width * bitCount + 31) / 32 * 4;
}

int nearest(const QList<QRgb> &pal, QRgb c)
{
    int best = 0;
    int bestDist = INT_MAX;
    for (int i = 0; i < pal.size(); ++i) {
        const int dr = qRed(pal[i]) - qRed(c);
        const int dg = qGreen(pal[i]) - qGreen(c);
        const int db = qBlue(pal[i]) - qBlue(c);
        const int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (d < bestDist) {
            bestDist = d;
            best = i;
        }
    }
    return best;
}

// Colour pixels (the XOR bitmap), bottom row first.
QByteArray colourBits(const QImage &img, int bitCount, const QList<QRgb> &pal)
{
    QByteArray bits;
    const int stride = rowBytes(img.width(), bitCount);
    for (int y = img.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = line[x];
            if (bitCount == 32) {
                row[4 * x] = char(qBlue(c));
                row[4 * x + 1] = char(qGreen(c));
                row[4 * x + 2] = char(qRed(c));
                row[4 * x + 3] = char(qAlpha(c));
                continue;
            }
            // Transparent pixels are drawn by the mask; give them index 0 (black).
            const int index = qAlpha(c) < 128 ? 0 : nearest(pal, c);
            if (bitCount == 8)
                row[x] = char(index);
            else
                row[x / 2] = char(row[x / 2] | (x % 2 ? index : index << 4));
        }
        bits += row;
    }
    return bits;
}

// The AND mask: one bit per pixel, set where the pixel is transparent.
QByteArray maskBits(const QImage &img)
{
    QByteArray bits;
    const int stride = rowBytes(img.width(), 1);
    for (int y = img.height() - 1; y >= 0; --y) {
        QByteArray row(stride, '\0');
        const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(line[x]) < 128)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        bits += row;
    }
    return bits;
}

QByteArray imageData(const IconFile::Entry &e)
{
    const QImage img = e.image.convertToFormat(QImage::Format_ARGB32);
    const QList<QRgb> pal = IconFile::palette(e.bitCount);
    const QByteArray xorBits = colourBits(img, e.bitCount, pal);
    const QByteArray andBits = maskBits(img);

    QByteArray out;
    put32(out, 40);                    // BITMAPINFOHEADER size
    put32(out, quint32(img.width()));
    put32(out, quint32(img.height() * 2)); // colour bitmap and mask stacked
    put16(out, 1);                     // planes
    put16(out, quint16(e.bitCount));
    put32(out, 0);                     // BI_RGB
    put32(out, quint32(xorBits.size() + andBits.size()));
    put32(out, 0);
    put32(out, 0);
    put32(out, quint32(pal.size()));   // colours used
    put32(out, 0);
    for (QRgb c : pal) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append('\0');
    }
    return out + xorBits + andBits;
}

} // namespace

QList<QRgb> IconFile::palette(int bitCount)
{
    QList<QRgb> pal;
    if (bitCount == 4) {
        // The standard 16 VGA colours.
        pal = {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
               qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
               qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
               qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    } else if (bitCount == 8) {
        // A 6x6x6 colour cube followed by 40 greys.
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    pal.append(qRgb(r * 51, g * 51, b * 51));
        for (int i = 0; i < 40; ++i)
            pal.append(qRgb(i * 255 / 39, i * 255 / 39, i * 255 / 39));
    }
    return pal;
}

QByteArray IconFile::encode(const QList<Entry> &entries)
{
    QByteArray dir;
    put16(dir, 0); // reserved
    put16(dir, 1); // icon, not cursor
    put16(dir, quint16(entries.size()));

    QByteArray body;
    const int dataStart = 6 + 16 * int(entries.size());
    for (const Entry &e : entries) {
        const QByteArray data = imageData(e);
        // A stored size of 0 means 256.
        dir.append(char(e.image.width() & 0xff));
        dir.append(char(e.image.height() & 0xff));
        dir.append(char(e.bitCount == 4 ? 16 : 0)); // colour count, 0 when 256 or more
        dir.append('\0');
        put16(dir, 1);
        put16(dir, quint16(e.bitCount));
        put32(dir, quint32(data.size()));
        put32(dir, quint32(dataStart + body.size()));
        body += data;
    }
    return dir + body;
}
