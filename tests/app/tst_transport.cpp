#include "Fakes.h"
#include "Transport.h"

#include <QtTest>

namespace {

QString name(TransportButton b)
{
    return b == TransportButton::Play ? QStringLiteral("Play") : b == TransportButton::Pause ? QStringLiteral("Pause") : QStringLiteral("Stop");
}

// Records flag changes into the shared log as "DPlay visible", "Play disabled".
class RecordingLooks : public TransportLooks
{
public:
    explicit RecordingLooks(EventLog log) : m_log(std::move(log)) {}
    void setOverlayVisible(TransportButton b, bool visible) override
    {
        m_log->append(QStringLiteral("D%1 %2").arg(name(b), visible ? "visible" : "hidden"));
    }
    void setButtonEnabled(TransportButton b, bool enabled) override
    {
        m_log->append(QStringLiteral("%1 %2").arg(name(b), enabled ? "enabled" : "disabled"));
    }

private:
    EventLog m_log;
};

struct Rig
{
    EventLog log = makeLog();
    RecordingChannel mmc1{"Mmc_1", log};
    RecordingChannel mmc2{"Mmc_2", log};
    ScriptedDialog cmo1{"Cmo_1", log};
    ScriptedDialog cmo2{"Cmo_2", log};
    RecordingLooks looks{log};
    Transport transport{looks, {mmc1, cmo1, SkinButton::Img_1}, {mmc2, cmo2, SkinButton::Img_2},
                        [log = log](SkinButton b, ButtonVisualState s) {
                            log->append(QStringLiteral("picture %1 %2").arg(int(b)).arg(int(s)));
                        }};
};

const QStringList StopSteps = {"Mmc_1: close", "Mmc_2: close", "DStop visible", "Stop disabled",
                               "DPlay hidden", "Play enabled", "DPause visible", "Pause disabled"};

} // namespace

class TransportTest : public QObject
{
    Q_OBJECT

private slots:
    void handlersSendTheirStepsInOrder_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("stop") << "stop" << StopSteps;
        QTest::newRow("pause") << "pause"
                               << QStringList{"DPlay hidden", "DPause visible", "Pause disabled", "Play enabled",
                                              "DStop hidden", "Stop enabled", "Mmc_1: pause", "Mmc_2: pause"};
        QTest::newRow("play") << "play"
                              << QStringList{"DPause hidden", "DPlay visible", "Play disabled", "Pause enabled",
                                             "DStop hidden", "Stop enabled", "Mmc_1: open", "Mmc_1: play",
                                             "Mmc_2: open", "Mmc_2: play"};
        // "picture 0 0" is Img_1 put back to Normal; "picture 1 0" is Img_2.
        QTest::newRow("channel 1, file chosen")
            << "choose1" << StopSteps + QStringList{"Cmo_1: show", "Mmc_1 file: /music/a b.wav", "DPlay hidden",
                                                    "Play enabled", "picture 0 0"};
        QTest::newRow("channel 2, cancelled")
            << "cancel2" << StopSteps + QStringList{"Cmo_2: show", "picture 1 0"};
        // A file given from the desktop: the same steps, no dialog.
        QTest::newRow("channel 2, file given")
            << "give2" << StopSteps + QStringList{"Mmc_2 file: /music/c.mp3", "DPlay hidden", "Play enabled", "picture 1 0"};
        QTest::newRow("channel 1, empty name given") << "giveEmpty1" << StopSteps + QStringList{"picture 0 0"};
    }

    void handlersSendTheirStepsInOrder()
    {
        QFETCH(QString, handler);
        QFETCH(QStringList, steps);
        Rig rig;
        rig.cmo1.answer("/music/a b.wav");
        if (handler == "stop") rig.transport.stopClick();
        if (handler == "pause") rig.transport.pauseClick();
        if (handler == "play") rig.transport.playClick();
        if (handler == "choose1") rig.transport.channelClick(0);
        if (handler == "cancel2") rig.transport.channelClick(1);
        if (handler == "give2") rig.transport.channelOpen(1, "/music/c.mp3");
        if (handler == "giveEmpty1") rig.transport.channelOpen(0, QString());
        QCOMPARE(*rig.log, steps);
    }

    void cancelKeepsTheChannelsFile()
    {
        Rig rig;
        rig.cmo1.answer("/music/first.mp3");
        rig.cmo1.answer(QString());
        rig.transport.channelClick(0);
        rig.transport.channelClick(0);
        QCOMPARE(rig.mmc1.fileName(), QStringLiteral("/music/first.mp3"));
        QVERIFY(rig.mmc2.fileName().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TransportTest)
#include "tst_transport.moc"
