#include "ButtonImageLoader.h"

#include "PictureButton.h"

#include <QImageReader>
#include <QPixmap>

#include <cstdio>

bool ButtonImageLoader::show(PictureButton &button, const QString &path)
{
    QImageReader reader(path, "jpeg");
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(AllocationLimitMb);
    const QImage image = reader.read();
    if (image.isNull()) {
        if (!m_reported.contains(path)) {
            m_reported.insert(path);
            std::fprintf(stderr, "tandra: button picture not shown: %s: %s\n",
                         qUtf8Printable(path), qUtf8Printable(reader.errorString()));
        }
        return false;
    }
    button.setPicture(QPixmap::fromImage(image));
    return true;
}
