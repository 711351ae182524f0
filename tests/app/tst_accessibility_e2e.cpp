// The real program as a screen reader sees it: over AT-SPI, with the Python
// client screen readers use, on a session bus and accessibility bus of the
// test's own; pressing Play there is heard on the null sink.
#include "MediaFiles.h"
#include "PlayerDriver.h"
#include "SinkRecorder.h"
#include "ToneAnalysis.h"

#include <QtTest>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

using namespace playerdriver;

namespace {

constexpr double Low = 440;
constexpr double High = 1000;

struct Seen
{
    QString role, name, description;
    QStringList actions;
};

} // namespace

class AccessibilityE2ETest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcessEnvironment m_env = QProcessEnvironment::systemEnvironment();
    QProcess m_sessionBus;
    QProcess m_accessibilityBus;

    // What the script sees of the program, and what it said on stderr.
    QList<Seen> look(const QStringList &arguments = {}, QByteArray *errors = nullptr)
    {
        QProcess script;
        script.setProcessEnvironment(m_env);
        script.start(TANDRA_SYSTEM_PYTHON, QStringList{TANDRA_ATSPI_SCRIPT} + arguments);
        if (!script.waitForFinished(30000))
            script.kill();
        QList<Seen> seen;
        for (const QByteArray &line : script.readAllStandardOutput().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (!o.isEmpty())
                seen.append({o["role"].toString(), o["name"].toString(), o["description"].toString(),
                             o["actions"].toVariant().toStringList()});
        }
        if (errors)
            *errors = script.readAllStandardError() + QByteArray::number(script.exitCode());
        return seen;
    }

    static QString descriptionOf(const QList<Seen> &seen, const QString &name)
    {
        for (const Seen &s : seen)
            if (s.role == "push button" && s.name == name)
                return s.description;
        return "not found";
    }

private slots:
    void initTestCase()
    {
        if (!testEnvironmentPresent())
            QSKIP("needs the X server and null sink of scripts/with-test-env.sh");
        QVERIFY2(QFileInfo(TANDRA_SYSTEM_PYTHON).isExecutable() && QFileInfo(TANDRA_ATSPI_BUS_LAUNCHER).isExecutable(),
                 "python3 or at-spi-bus-launcher is missing: run scripts/install-deps.sh");
        QVERIFY(m_dir.isValid());
        m_sessionBus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(m_sessionBus.waitForReadyRead(5000), "dbus-daemon gave no address");
        const QString address = QString::fromUtf8(m_sessionBus.readLine()).trimmed();
        m_env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        m_env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        m_accessibilityBus.setProcessEnvironment(m_env);
        m_accessibilityBus.start(TANDRA_ATSPI_BUS_LAUNCHER, {"--launch-immediately"});
        QVERIFY(m_accessibilityBus.waitForStarted());
        QDBusConnection bus = QDBusConnection::connectToBus(address, "accessibility-test");
        QTRY_VERIFY_WITH_TIMEOUT(bus.interface()->isServiceRegistered("org.a11y.Bus"), 10000);
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus("accessibility-test");
        for (QProcess *process : {&m_accessibilityBus, &m_sessionBus}) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished();
        }
    }

    void cleanTreeDescriptionsAndPlay()
    {
        const QString low = testmedia::makeToneFile(m_dir.path(), "low-440.wav", testmedia::MediaKind::Wav, Low, 4);
        const QString high = testmedia::makeToneFile(m_dir.path(), "high-1000.wav", testmedia::MediaKind::Wav, High, 4);
        Player player;
        player.process().setProcessEnvironment(m_env);
        QVERIFY(player.start({low, high}));

        QByteArray errors;
        const QList<Seen> tree = look({}, &errors);
        QVERIFY2(tree.size() > 10, errors.constData());
        for (const Seen &s : tree)
            QVERIFY2(s.role != "invalid" && s.role != "unknown", qPrintable(s.role + " " + s.name));
        QCOMPARE(descriptionOf(tree, "إفتح 1"), QStringLiteral("low-440.wav"));
        QCOMPARE(descriptionOf(tree, "إفتح 2"), QStringLiteral("high-1000.wav"));

        tones::SinkRecorder recorder;
        QVERIFY2(recorder.start(), qPrintable(recorder.errorString()));
        QTest::qWait(500);
        const double pressed = recorder.elapsedSeconds();
        look({"--press", "تشغيل"}, &errors);
        QVERIFY2(errors.endsWith('0'), errors.constData());
        // While playing, each channel button tells where its file is.
        const QRegularExpression playing("^low-440\\.wav  0:0[0-4] / 0:04$");
        QTRY_VERIFY_WITH_TIMEOUT(playing.match(descriptionOf(look(), "إفتح 1")).hasMatch(), 10000);
        QTest::qWait(500);
        const double heardUntil = recorder.elapsedSeconds();
        const std::vector<float> sound = recorder.stop();

        const auto part = [&](double from, double to) {
            const auto rate = tones::SinkRecorder::SampleRate;
            return std::vector<float>(sound.begin() + qsizetype(from * rate),
                                      sound.begin() + qsizetype(std::min<double>(to * rate, sound.size())));
        };
        const auto before = tones::findTones(part(0, pressed), tones::SinkRecorder::SampleRate, {Low, High});
        QVERIFY2(!before[0].present && !before[1].present, "sound before Play was pressed");
        const auto after = tones::findTones(part(pressed, heardUntil), tones::SinkRecorder::SampleRate, {Low, High});
        QVERIFY2(after[0].present && after[1].present, "both channels heard after Play was pressed over AT-SPI");
    }
};

QTEST_GUILESS_MAIN(AccessibilityE2ETest)
#include "tst_accessibility_e2e.moc"
