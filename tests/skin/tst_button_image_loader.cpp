#include "ButtonImageLoader.h"
#include "PictureButton.h"

#include <QtTest>
#include <QImage>
#include <QTemporaryDir>

namespace {

void writeJpeg(const QString &path, QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "JPEG", 95));
}

QColor centreColour(const PictureButton &button)
{
    const QImage image = button.picture().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 && std::abs(a.blue() - b.blue()) < 12;
}

} // namespace

class ButtonImageLoaderTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_good = m_dir.filePath("good.jpg");
        writeJpeg(m_good, QSize(50, 48), Qt::red);
    }

    void showsThePictureAtItsOwnSize()
    {
        PictureButton button;
        ButtonImageLoader loader;
        const QString wide = m_dir.filePath("wide.jpg");
        writeJpeg(wide, QSize(70, 30), Qt::blue);
        QFile file(wide); // with a tail after the end marker, as editors and cameras leave
        QVERIFY(file.open(QIODevice::Append) && file.write("\xff\xd8\xff\xe1 meta\0\0", 12) == 12);
        file.close();
        QVERIFY(loader.show(button, m_good));
        QCOMPARE(button.size(), QSize(50, 48));
        button.move(10, 20);
        QVERIFY(loader.show(button, wide));
        QCOMPARE(button.geometry(), QRect(10, 20, 70, 30));
        QVERIFY(near(centreColour(button), Qt::blue));
    }

    void readsTheFileAnewEveryTime()
    {
        PictureButton button;
        ButtonImageLoader loader;
        QVERIFY(loader.show(button, m_good));
        QVERIFY(near(centreColour(button), Qt::red));
        writeJpeg(m_good, QSize(40, 40), Qt::green);
        QVERIFY(loader.show(button, m_good));
        QVERIFY(near(centreColour(button), Qt::green));
        QCOMPARE(button.size(), QSize(40, 40));
    }

    void badPictureKeepsTheCurrentOne_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty name: the file is not written
        QTest::addColumn<QString>("fileName");
        QTest::newRow("missing") << QByteArray() << "missing.jpg";
        QTest::newRow("zero bytes") << QByteArray("") << "empty.jpg";
        QTest::newRow("random bytes") << QByteArray(4096, '\x5a') << "noise.jpg";
        QTest::newRow("truncated jpeg") << QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF", 10) << "cut.jpg";
        QTest::newRow("a folder") << QByteArray() << "folder.jpg";
        QTest::newRow("png named jpg") << QByteArray("png") << "png.jpg";
        QTest::newRow("cut in the middle") << QByteArray("half") << "half.jpg";
    }

    void badPictureKeepsTheCurrentOne()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, fileName);
        const QString path = m_dir.filePath(fileName);
        if (fileName == "folder.jpg") {
            QVERIFY(QDir(m_dir.path()).mkdir(fileName));
        } else if (content == "png") {
            QImage image(50, 48, QImage::Format_RGB32);
            image.fill(Qt::blue);
            QVERIFY(image.save(path, "PNG"));
        } else if (content == "half") {
            QImage image(200, 200, QImage::Format_RGB32);
            image.fill(Qt::blue);
            QVERIFY(image.save(path, "JPEG", 95));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.resize(file.size() / 2));
        } else if (!content.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        PictureButton button;
        ButtonImageLoader loader;
        QVERIFY(loader.show(button, m_good));
        QVERIFY(!loader.show(button, path));
        QVERIFY(!loader.show(button, path));
        QCOMPARE(button.size(), QSize(50, 48));
        QVERIFY(near(centreColour(button), Qt::red));
    }

    void hugePictureIsRefused()
    {
        // 10000 x 10000 would take hundreds of megabytes as a pixmap.
        const QString path = m_dir.filePath("huge.jpg");
        QImage image(10000, 10000, QImage::Format_Grayscale8);
        image.fill(128);
        QVERIFY(image.save(path, "JPEG", 50));
        PictureButton button;
        ButtonImageLoader loader;
        QVERIFY(loader.show(button, m_good));
        QVERIFY(!loader.show(button, path));
        QCOMPARE(button.size(), QSize(50, 48));
    }

private:
    QTemporaryDir m_dir;
    QString m_good;
};

QTEST_MAIN(ButtonImageLoaderTest)
#include "tst_button_image_loader.moc"
