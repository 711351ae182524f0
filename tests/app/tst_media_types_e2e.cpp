// Every file type of the open dialogs, played from the real program and
// heard on the null sink.
#include "MediaFiles.h"
#include "PlayerDriver.h"
#include "SinkRecorder.h"
#include "ToneAnalysis.h"

#include <QtTest>
#include <QTemporaryDir>

using testmedia::MediaKind;
using namespace playerdriver;

class MediaTypesE2ETest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        if (!playerdriver::testEnvironmentPresent())
            QSKIP("needs the X server and null sink of scripts/with-test-env.sh");
        QVERIFY(m_dir.isValid());
    }

    // Two types at a time, one in each channel, sounding together.
    void everyTypePlaysFromTheProgram_data()
    {
        QTest::addColumn<MediaKind>("kind1");
        QTest::addColumn<QString>("file1");
        QTest::addColumn<double>("frequency1");
        QTest::addColumn<MediaKind>("kind2");
        QTest::addColumn<QString>("file2");
        QTest::addColumn<double>("frequency2");
        QTest::newRow("wav and mp3") << MediaKind::Wav << "tone.wav" << 500.0 << MediaKind::Mp3 << "tone.mp3" << 700.0;
        QTest::newRow("wma and video CD dat")
            << MediaKind::Wma << "tone.wma" << 900.0 << MediaKind::DatCdxa << "AVSEQ01.DAT" << 1100.0;
        QTest::newRow("program stream dat and avi")
            << MediaKind::DatPlain << "plain.dat" << 1300.0 << MediaKind::Avi << "clip.avi" << 600.0;
        QTest::newRow("mid and mp3 named wav")
            << MediaKind::Mid << "tune.mid" << 440.0 << MediaKind::Mp3 << "really an mp3.wav" << 800.0;
    }

    void everyTypePlaysFromTheProgram()
    {
        QFETCH(MediaKind, kind1);
        QFETCH(QString, file1);
        QFETCH(double, frequency1);
        QFETCH(MediaKind, kind2);
        QFETCH(QString, file2);
        QFETCH(double, frequency2);
        const QString path1 = testmedia::makeToneFile(m_dir.path(), file1, kind1, frequency1, 4.0);
        const QString path2 = testmedia::makeToneFile(m_dir.path(), file2, kind2, frequency2, 4.0);
        QVERIFY(!path1.isEmpty() && !path2.isEmpty());
        const std::vector<double> sounding{testmedia::soundingFrequency(kind1, frequency1),
                                           testmedia::soundingFrequency(kind2, frequency2)};

        Player player;
        QVERIFY(player.start());
        QVERIFY(player.choose(Channel1, path1));
        QVERIFY(player.choose(Channel2, path2));
        tones::SinkRecorder recorder;
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
        player.click(PlayButton);
        // However slowly the machine starts them, both are heard for long enough.
        std::vector<tones::ToneFinding> found;
        const auto heardLongEnough = [&] {
            found = tones::findTones(recorder.soFar(), tones::SinkRecorder::SampleRate, sounding);
            return found[0].heardSeconds > 1.5 && found[1].heardSeconds > 1.5;
        };
        QTRY_VERIFY_WITH_TIMEOUT(heardLongEnough(), 20000);
        recorder.stop();
        for (std::size_t i = 0; i < found.size(); ++i) {
            const QString &name = i == 0 ? file1 : file2;
            qInfo("%s: %.0f Hz heard for %.2f s at level %.2f", qPrintable(name), sounding[i],
                  found[i].heardSeconds, found[i].level);
            QVERIFY2(found[i].present && found[i].heardSeconds > 1.5, qPrintable(name + " is heard"));
            // Comparable loudness: MIDI too, whose synthesiser is quiet by default.
            QVERIFY2(found[i].level > 0.1, qPrintable(name + " is loud enough"));
        }
        QCOMPARE(player.process().state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(MediaTypesE2ETest)
#include "tst_media_types_e2e.moc"
