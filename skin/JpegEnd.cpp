#include "JpegEnd.h"

bool jpegReachesEndOfImage(const uchar *data, qint64 size)
{
    qint64 at = 2; // past the start-of-image marker
    while (at + 1 < size) {
        if (data[at] != 0xff) { // compressed data
            ++at;
            continue;
        }
        const uchar marker = data[at + 1];
        if (marker == 0xd9)
            return true;
        // A stuffed byte, a fill byte, or a marker without a length.
        if (marker == 0x00 || marker == 0x01 || marker == 0xff || (marker >= 0xd0 && marker <= 0xd8)) {
            at += marker == 0xff ? 1 : 2;
            continue;
        }
        if (at + 3 >= size)
            return false;
        at += 2 + ((data[at + 2] << 8) | data[at + 3]); // a segment: skip its length
    }
    return false;
}
