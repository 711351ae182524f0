#include "ButtonImageLoader.h"

#include "JpegEnd.h"
#include "PictureButton.h"

#include <QFile>
#include <QLoggingCategory>
#include <QImageReader>
#include <QPixmap>


Q_LOGGING_CATEGORY(lcSkin, "tandra.skin")

namespace {

bool endsWithEndOfImage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true; // the reader reports why
    const qint64 size = file.size();
    const uchar *data = file.map(0, size);
    if (!data)
        return true; // nothing to walk; the decoder's word stands
    return jpegReachesEndOfImage(data, size);
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
