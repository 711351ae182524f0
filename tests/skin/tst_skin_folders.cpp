#include "ButtonImageSet.h"
#include "SkinFolders.h"

#include <QtTest>

class SkinFoldersTest : public QObject
{
    Q_OBJECT

private slots:
    void startupFolders_data()
    {
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("appFolder");
        QTest::addColumn<QString>("skinFolder");
        QTest::newRow("windows drive root") << "C:\\" << QChar('\\') << "C:\\" << "C:\\\\SkinDefault";
        QTest::newRow("windows folder") << "C:\\Apps\\Player" << QChar('\\') << "C:\\Apps\\Player\\"
                                        << "C:\\Apps\\Player\\\\SkinDefault";
        QTest::newRow("posix root") << "/" << QChar('/') << "/" << "//SkinDefault";
        QTest::newRow("posix folder") << "/opt/tandra" << QChar('/') << "/opt/tandra/" << "/opt/tandra//SkinDefault";
    }

    void startupFolders()
    {
        QFETCH(QString, programFolder);
        QFETCH(QChar, separator);
        const SkinFolders folders = startupSkinFolders(programFolder, separator);
        QTEST(folders.AppFolder, "appFolder");
        QTEST(folders.SkinFolder, "skinFolder");
    }

    void picturePathKeepsTheDoubledSeparator()
    {
        const SkinFolders folders = startupSkinFolders("C:\\Player", '\\');
        QCOMPARE(skinPicturePath(folders.SkinFolder, '\\', "B0001.jpg"), QStringLiteral("C:\\Player\\\\SkinDefault\\B0001.jpg"));
    }

    void pictureForScreen_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QStringList>("present"); // beside the plain picture
        QTest::addColumn<QString>("path");
        QTest::addColumn<qreal>("shownRatio");
        const QStringList sharp{"C:\\Skin.v2\\B0001@2x.jpg"};
        QTest::newRow("plain screen") << "B0001.jpg" << 1.0 << sharp << "C:\\Skin.v2\\B0001.jpg" << 1.0;
        QTest::newRow("150 %") << "B0001.jpg" << 1.5 << sharp << "C:\\Skin.v2\\B0001@2x.jpg" << 2.0;
        QTest::newRow("only the plain one") << "B0001.jpg" << 2.0 << QStringList() << "C:\\Skin.v2\\B0001.jpg" << 1.0;
        QTest::newRow("last dot only") << "a.b.jpg" << 2.0 << QStringList{"C:\\Skin.v2\\a.b@2x.jpg"}
                                       << "C:\\Skin.v2\\a.b@2x.jpg" << 2.0;
        QTest::newRow("no extension") << "B0001" << 2.0 << QStringList{"C:\\Skin.v2\\B0001@2x"}
                                      << "C:\\Skin.v2\\B0001@2x" << 2.0;
    }

    void pictureForScreen()
    {
        QFETCH(QString, fileName);
        QFETCH(qreal, ratio);
        QFETCH(QStringList, present);
        const PictureFile file = pictureFileForRatio("C:\\Skin.v2", '\\', fileName, ratio,
                                                     [&](const QString &path) { return present.contains(path); });
        QTEST(file.path, "path");
        QTEST(file.devicePixelRatio, "shownRatio");
    }

    void skinCommand_data()
    {
        QTest::addColumn<QString>("chosenFile");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QString>("appFolder");
        QTest::addColumn<QString>("skinFolder");
        const QString current = "C:\\Player\\\\SkinDefault";
        QTest::newRow("folder of the skn file") << "D:\\Skins\\Blue\\blue.skn" << QChar('\\') << "C:\\Player\\"
                                                << "D:\\Skins\\Blue";
        QTest::newRow("any file counts") << "D:\\Skins\\Blue\\readme.txt" << QChar('\\') << "C:\\Player\\"
                                         << "D:\\Skins\\Blue";
        QTest::newRow("drive root keeps its separator") << "D:\\blue.skn" << QChar('\\') << "C:\\Player\\" << "D:\\";
        QTest::newRow("posix root keeps its separator") << "/blue.skn" << QChar('/') << "/opt/tandra/" << "/";
        QTest::newRow("posix folder") << "/home/u/skins/red/red.skn" << QChar('/') << "/opt/tandra/"
                                      << "/home/u/skins/red";
        QTest::newRow("cancel keeps the current folder") << "" << QChar('\\') << "C:\\Player\\" << current;
        QTest::newRow("no folder in the name falls back") << "blue.skn" << QChar('\\') << "C:\\Player\\"
                                                          << "C:\\Player\\skindefault";
    }

    void skinCommand()
    {
        QFETCH(QString, chosenFile);
        QFETCH(QChar, separator);
        QFETCH(QString, appFolder);
        QTEST(skinFolderAfterChoice("C:\\Player\\\\SkinDefault", chosenFile, appFolder, separator), "skinFolder");
    }

    void pictureTableSpellsEveryName()
    {
        // The numbering runs in blocks of four, the fourth never asked for.
        QStringList names;
        for (const auto &row : ButtonImageSet)
            for (std::string_view name : row)
                names << QString::fromLatin1(name.data(), qsizetype(name.size()));
        QCOMPARE(names, (QStringList{"B0001.jpg", "B0002.jpg", "B0003.jpg", "B0005.jpg", "B0006.jpg", "B0007.jpg",
                                     "b0009.jpg", "B0010.jpg", "B0011.jpg", "b0013.jpg", "B0014.jpg", "B0015.jpg",
                                     "b0017.jpg", "b0018.jpg", "B0019.jpg"}));
    }
};

QTEST_GUILESS_MAIN(SkinFoldersTest)
#include "tst_skin_folders.moc"
