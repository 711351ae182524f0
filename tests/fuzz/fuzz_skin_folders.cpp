// The skin folder rules fed with any texts. The input holds fields apart by
// NUL bytes: the separator (its first character) with the answer whether a
// double-size picture exists (a second character "1"), the program folder,
// the chosen file, the current skin folder, a picture's file name and the
// screen's pixel ratio.
#include "FuzzCheck.h"
#include "SkinFolders.h"

#include <QByteArray>
#include <QList>

namespace {

// The chosen file's folder: the start of its path, with the file name after
// it past one or more separators.
bool isFolderOf(const QString &folder, const QString &file, QChar separator)
{
    if (folder.isEmpty() || !file.startsWith(folder))
        return false;
    qsizetype nameAt = folder.size();
    if (!folder.endsWith(separator)) {
        if (nameAt >= file.size() || file.at(nameAt) != separator)
            return false;
        ++nameAt;
    }
    while (nameAt < file.size() && file.at(nameAt) == separator)
        ++nameAt;
    const QString name = file.mid(nameAt);
    return !name.isEmpty() && !name.contains(separator);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QList<QString> fields;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &field : bytes.split('\0'))
        fields << QString::fromUtf8(field);
    fields.resize(std::max<qsizetype>(fields.size(), 6));
    const QChar separator = fields[0].isEmpty() ? QChar(u'\\') : fields[0].at(0);
    const bool sharpExists = fields[0].size() > 1 && fields[0].at(1) == u'1';
    const QString &programFolder = fields[1], &chosenFile = fields[2], &currentSkin = fields[3], &fileName = fields[4];
    const qreal ratio = fields[5].toDouble();

    const SkinFolders start = startupSkinFolders(programFolder, separator);
    FUZZ_CHECK(start.AppFolder.endsWith(separator));
    FUZZ_CHECK(start.AppFolder == programFolder || start.AppFolder == programFolder + separator);
    FUZZ_CHECK(start.SkinFolder == start.AppFolder + separator + QStringLiteral("SkinDefault"));

    const QString chosen = skinFolderAfterChoice(currentSkin, chosenFile, start.AppFolder, separator);
    const bool namesFileInFolder = chosenFile.contains(separator) && !chosenFile.endsWith(separator);
    if (chosenFile.isEmpty())
        FUZZ_CHECK(chosen == currentSkin);
    else if (namesFileInFolder)
        FUZZ_CHECK(isFolderOf(chosen, chosenFile, separator));
    else
        FUZZ_CHECK(chosen == start.AppFolder + QStringLiteral("skindefault"));

    const QString sharpName = doubleSizeName(fileName);
    const qsizetype dot = fileName.lastIndexOf(u'.');
    FUZZ_CHECK(sharpName.size() == fileName.size() + 3 && sharpName.contains(QStringLiteral("@2x")));
    FUZZ_CHECK(dot <= 0 || sharpName.endsWith(QStringView(fileName).mid(dot))); // the extension stays last

    int asked = 0;
    const PictureFile picture = pictureFileForRatio(chosen, separator, fileName, ratio, [&](const QString &path) {
        ++asked;
        FUZZ_CHECK(path == chosen + separator + sharpName);
        return sharpExists;
    });
    FUZZ_CHECK(asked == (ratio > 1 ? 1 : 0));
    if (ratio > 1 && sharpExists)
        FUZZ_CHECK(picture.path == chosen + separator + sharpName && picture.devicePixelRatio == 2);
    else
        FUZZ_CHECK(picture.path == chosen + separator + fileName && picture.devicePixelRatio == 1);
    return 0;
}
