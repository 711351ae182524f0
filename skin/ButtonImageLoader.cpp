#include "ButtonImageLoader.h"

#include "PictureButton.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>

#include <algorithm>
#include <cstdio>

namespace {

// A JPEG ends with its end-of-image marker, perhaps followed by zero
// padding. The decoder shows a file cut short anyway, its missing part
// grey, so this is checked apart.
bool endsWithEndOfImage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true; // the reader reports why
    constexpr qint64 TailSize = 4096;
    const qint64 size = file.size();
    if (!file.seek(std::max<qint64>(0, size - TailSize)))
        return false;
    QByteArray tail = file.read(TailSize);
    while (tail.endsWith('\0'))
        tail.chop(1);
    return size == 0 || tail.endsWith("\xff\xd9");
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
            std::fprintf(stderr, "tandra: button picture not shown: %s: %s\n",
                         qUtf8Printable(path), qUtf8Printable(error));
        }
        return false;
    }
    image.setDevicePixelRatio(devicePixelRatio);
    button.setPicture(QPixmap::fromImage(image));
    return true;
}
