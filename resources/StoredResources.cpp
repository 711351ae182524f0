#include "StoredResources.h"

#include "SkinFolders.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

void initStoredResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(tandra);
        return true;
    }();
    Q_UNUSED(registered);
}

QPixmap storedPicture(const QString &path)
{
    initStoredResources();
    const QFileInfo stored(path);
    // Windows load their pictures before they are shown on any screen; the
    // application's ratio is the one they will get.
    const PictureFile file = pictureFileForRatio(stored.path(), QLatin1Char('/'), stored.fileName(),
                                                 qGuiApp->devicePixelRatio(),
                                                 [](const QString &candidate) { return QFile::exists(candidate); });
    QPixmap picture(file.path);
    picture.setDevicePixelRatio(file.devicePixelRatio);
    return picture;
}
