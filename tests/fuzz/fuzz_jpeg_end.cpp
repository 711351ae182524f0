// The bytes are a skin picture's file. The walk must stay inside them and
// end, and it may only call the picture whole where an end marker stands.
#include "FuzzCheck.h"
#include "JpegEnd.h"

#include <QByteArrayView>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (jpegReachesEndOfImage(data, qint64(size))) {
        const QByteArrayView bytes(data, qsizetype(size));
        FUZZ_CHECK(bytes.size() >= 4 && bytes.sliced(2).contains(QByteArrayView("\xff\xd9", 2)));
    }
    return 0;
}
