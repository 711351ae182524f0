#include "SkinFolders.h"

SkinFolders startupSkinFolders(const QString &programFolder, QChar separator)
{
    SkinFolders folders;
    folders.AppFolder = programFolder.endsWith(separator) ? programFolder : programFolder + separator;
    folders.SkinFolder = folders.AppFolder + separator + QStringLiteral("SkinDefault");
    return folders;
}

QString fallbackSkinFolder(const QString &appFolder)
{
    return appFolder + QStringLiteral("skindefault");
}

QString folderOfFile(const QString &filePath, QChar separator)
{
    const qsizetype last = filePath.lastIndexOf(separator);
    if (last < 0 || last == filePath.size() - 1)
        return {};
    QString folder = filePath.left(last);
    // A root keeps its separator: "/" on POSIX, "C:\" on Windows.
    if (folder.isEmpty() || (folder.size() == 2 && folder.at(1) == QLatin1Char(':')))
        folder += separator;
    return folder;
}

QString skinPicturePath(const QString &skinFolder, QChar separator, const QString &fileName)
{
    return skinFolder + separator + fileName;
}

QString skinFolderAfterChoice(const QString &currentSkinFolder, const QString &chosenFile,
                              const QString &appFolder, QChar separator)
{
    if (chosenFile.isEmpty())
        return currentSkinFolder;
    const QString folder = folderOfFile(chosenFile, separator);
    return folder.isEmpty() ? fallbackSkinFolder(appFolder) : folder;
}

QString doubleSizeName(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype stem = dot > 0 ? dot : fileName.size();
    return fileName.left(stem) + QStringLiteral("@2x") + fileName.mid(stem);
}

PictureFile pictureFileForRatio(const QString &folder, QChar separator, const QString &fileName, qreal ratio,
                                const std::function<bool(const QString &path)> &exists)
{
    if (ratio > 1) {
        const QString sharp = skinPicturePath(folder, separator, doubleSizeName(fileName));
        if (exists(sharp))
            return {sharp, 2};
    }
    return {skinPicturePath(folder, separator, fileName), 1};
}
