#include "ShellLayer.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include <cstring>

bool DesktopShellLayer::ShellExecuteA(quintptr, const char *operation, const char *file,
                                      const char *parameters, const char *, int)
{
    if (!operation || std::strcmp(operation, "open") != 0 || !file)
        return false;
    // Arguments would have to go to a program; a web address takes none.
    if (parameters && *parameters)
        return false;
    const QUrl url(QString::fromLocal8Bit(file), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    // Anything else (local files, custom schemes) could start a program.
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;
    // The desktop handler decides how its window opens; there is no portable
    // way to ask for it maximised.
    return QDesktopServices::openUrl(url);
}

std::shared_ptr<ShellLayer> desktopShellLayer()
{
    return std::make_shared<DesktopShellLayer>();
}
