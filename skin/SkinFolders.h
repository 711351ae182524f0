#pragma once

#include <QChar>
#include <QString>

#include <functional>

// The two folder fields of the main window.
struct SkinFolders
{
    QString AppFolder;  // the program's folder, always ending in one separator
    QString SkinFolder; // where every button picture is read from
};

// The start-up rule: a folder reported with a final separator (a root) is kept
// as it is, any other gets one added; the skin folder is AppFolder followed by
// separator + "SkinDefault", so it holds the separator twice in a row.
SkinFolders startupSkinFolders(const QString &programFolder, QChar separator);

// The fallback of the skin command: AppFolder + "skindefault", one separator.
QString fallbackSkinFolder(const QString &appFolder);

// The folder of a chosen file, without a final separator unless it is a root.
// Empty when the path names no file in a folder.
QString folderOfFile(const QString &filePath, QChar separator);

// SkinFolder + separator + file name: the path of one picture.
QString skinPicturePath(const QString &skinFolder, QChar separator, const QString &fileName);

// The skin command's outcome: the chosen file's folder; the "skindefault"
// folder of AppFolder when no folder can be taken from the path; the current
// folder unchanged after a cancel (empty path).
QString skinFolderAfterChoice(const QString &currentSkinFolder, const QString &chosenFile,
                              const QString &appFolder, QChar separator);

// The same picture drawn at twice the size, for dense screens: "@2x" before
// the extension, so "B0001.jpg" has "B0001@2x.jpg" beside it.
QString doubleSizeName(const QString &fileName);

// A picture file to read and the device pixel ratio to show it at.
struct PictureFile
{
    QString path;
    qreal devicePixelRatio = 1;
};

// For a window whose device pixel ratio is above 1, the double-size picture
// when it exists; otherwise the plain one, as on any ordinary screen.
PictureFile pictureFileForRatio(const QString &folder, QChar separator, const QString &fileName, qreal ratio,
                                const std::function<bool(const QString &path)> &exists);
