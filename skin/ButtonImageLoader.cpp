#include "ButtonImageLoader.h"

#include "JpegEnd.h"
#include "PictureButton.h"

#include <QFile>
#include <QLoggingCategory>
#include <QImageReader>
#include <QPixmap>


Q_LOGGING_CATEGORY(lcSkin, "tandra.skin")

namespace {

// Read, not mapped: a file cut short while it is mapped would end the
// program. A button picture of more than this is taken for a broken one.
constexpr qint64 LargestPictureBytes = 64 << 20;

bool endsWithEndOfImage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return true; // the reader reports why
    if (file.size() > LargestPictureBytes)
        return false;
    const QByteArray bytes = file.readAll();
    return jpegReachesEndOfImage(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
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
