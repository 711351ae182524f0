#include "OutputRouting.h"

#include <QtTest>

Q_DECLARE_METATYPE(std::vector<OutputRoute>)

// Which output each channel leaves by, and which channels share one mix.
class TestOutputRouting : public QObject
{
    Q_OBJECT

private slots:
    void routes_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("secondInUse");
        QTest::addColumn<std::vector<OutputRoute>>("routes");
        const QString phones = QStringLiteral("phones"), speakers = QStringLiteral("speakers");
        // The default output is "speakers" in every row.
        QTest::newRow("both with the default: one mix") << QString() << QString() << true
                                                        << std::vector<OutputRoute>{{QString(), {0, 1}}};
        QTest::newRow("one on its own output") << QString() << phones << true
                                               << std::vector<OutputRoute>{{QString(), {0}}, {phones, {1}}};
        QTest::newRow("both on the same other output: one mix")
            << phones << phones << true << std::vector<OutputRoute>{{phones, {0, 1}}};
        QTest::newRow("naming the default is going with it")
            << speakers << QString() << true << std::vector<OutputRoute>{{QString(), {0, 1}}};
        QTest::newRow("first channel's output comes first")
            << phones << QString() << true << std::vector<OutputRoute>{{phones, {0}}, {QString(), {1}}};
        QTest::newRow("a channel not in use takes no output")
            << QString() << phones << false << std::vector<OutputRoute>{{QString(), {0}}};
    }

    void routes()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, secondInUse);
        QFETCH(std::vector<OutputRoute>, routes);
        const auto got = routeChannels<2>({first, second}, {true, secondInUse}, QStringLiteral("speakers"));
        QVERIFY(got == routes);
    }
};

QTEST_GUILESS_MAIN(TestOutputRouting)
#include "tst_output_routing.moc"
