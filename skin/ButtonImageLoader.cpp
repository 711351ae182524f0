#include "ButtonImageLoader.h"

#include "PictureButton.h"

#include <QFile>
#include <QLoggingCategory>
#include <QImageReader>
#include <QPixmap>


Q_LOGGING_CATEGORY(lcSkin, "tandra.skin")

namespace {

// The decoder shows a JPEG cut short anyway, its missing part grey, so the
// file is walked apart, segment by segment, to its end-of-image marker.
// Whatever follows that marker (metadata, padding) is not the picture's.
bool endsWithEndOfImage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true; // the reader reports why
    const qint64 size = file.size();
    const uchar *data = file.map(0, size);
    if (!data)
        return true; // nothing to walk; the decoder's word stands
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

} // namespace

bool ButtonImageLoader::show(PictureButton &button, const QString &path, qreal devicePixelRatio)
{
    QImageReader reader(path, "jpeg");
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(AllocationLimitMb);
    QImage image = reader.read();
    QString error = reader.errorString();
    if (!image.isNull() && !endsWithEndOfImage(path)) {
        image = QImage();
        error = QStringLiteral("the picture is cut short");
    }
    if (image.isNull()) {
        if (!m_reported.contains(path)) {
            m_reported.insert(path);
            qCWarning(lcSkin).noquote() << "button picture not shown:" << path << ":" << error;
        }
        return false;
    }
    image.setDevicePixelRatio(devicePixelRatio);
    button.setPicture(QPixmap::fromImage(image));
    return true;
}
