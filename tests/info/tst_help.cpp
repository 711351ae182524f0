#include "Frm_About.h"
#include "Frm_Help.h"
#include "InfoTestSupport.h"
#include "ShellLayer.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace infotest;

namespace {

class NullShell : public ShellLayer
{
public:
    bool ShellExecuteA(quintptr, const char *, const char *, const char *, const char *, int) override
    {
        return false;
    }
};

QString textOf(Frm_Help *help)
{
    return help->findChild<QLabel *>(QStringLiteral("Label1"))->text();
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void helpText_data();
    void helpText();
    void window();
    void label();
    void closeWays_data();
    void closeWays();
    void reopenedWindowIsBuiltAfresh();
    void aboutAndHelpOpenTogether();
};

void TestHelp::helpText_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");
    QTest::newRow("line 1") << 1 << QString::fromUtf8("-------------------------------------------------------");
    QTest::newRow("line 2") << 2 << QString::fromUtf8("البرنامج سهل وبسيط:");
    QTest::newRow("line 3") << 3 << QString::fromUtf8("\t1. إضغط على (1) واختر ملف صوتي.");
    QTest::newRow("line 4") << 4 << QString::fromUtf8("\t2. إضغط على (2) واختر ملف صوتي آخر.");
    QTest::newRow("line 5") << 5 << QString::fromUtf8("\t3. إضغط على التشغيل");
    QTest::newRow("line 6") << 6 << QString::fromUtf8("-------------------------------------------------------");
    QTest::newRow("line 7") << 7 << QString::fromUtf8("");
    QTest::newRow("line 8") << 8 << QString::fromUtf8("ما الذي سأضيفه في النسخة (1.0) الجديدة ؟");
    QTest::newRow("line 9") << 9 << QString::fromUtf8("");
    QTest::newRow("line 10") << 10 << QString::fromUtf8("ج:");
    QTest::newRow("line 11") << 11 << QString::fromUtf8("\t1. التقديم والتأخير في المقطع .");
    QTest::newRow("line 12") << 12 << QString::fromUtf8("\t2. الشريط الزمني .");
    QTest::newRow("line 13") << 13 << QString::fromUtf8("\t3. تفعيل إجراء (إختيار السمة) .");
    QTest::newRow("line 14") << 14 << QString::fromUtf8("-------------------------------------------------------");
    QTest::newRow("line 15") << 15 << QString::fromUtf8("");
    QTest::newRow("line 16") << 16 << QString::fromUtf8("ما الذي سأضيفه في النسخة (1,5) الجديدة ؟");
    QTest::newRow("line 17") << 17 << QString::fromUtf8("");
    QTest::newRow("line 18") << 18 << QString::fromUtf8("ج:");
    QTest::newRow("line 19") << 19 << QString::fromUtf8("\t1. مسجل الصوت .");
    QTest::newRow("line 20") << 20 << QString::fromUtf8("\t3. محول الأصوات (مشرع قيد الدراسة).");
    QTest::newRow("line 21") << 21 << QString::fromUtf8("-------------------------------------------------------");
}

void TestHelp::helpText()
{
    QFETCH(int, line);
    QFETCH(QString, text);
    std::unique_ptr<Frm_Help> help(new Frm_Help());
    // Lines are parted by line breaks only, with none after the last line.
    const QStringList lines = textOf(help.get()).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 21);
    QCOMPARE(lines.at(line - 1), text);
}

void TestHelp::window()
{
    auto *help = new Frm_Help();
    QPointer<Frm_Help> guard(help);
    QVERIFY(help->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(help->windowTitle(), QString::fromUtf8("مساعدة"));
    QVERIFY(help->parentWidget() == nullptr);
    QCOMPARE(help->size(), QSize(305, 391));
    QCOMPARE(help->minimumSize(), help->maximumSize());
    const Qt::WindowFlags flags = help->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(help->palette().color(QPalette::Window), QColor(224, 224, 224));
    QVERIFY(help->windowIcon().isNull());

    QVERIFY(showActive(help));
    const QPoint off = help->frameGeometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    // The frame is not known before the first show; its margins may shift it.
    QVERIFY2(qAbs(off.x()) <= 3 && qAbs(off.y()) <= 3, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
    auto *button = help->findChild<QPushButton *>(QStringLiteral("Command1"));
    QCOMPARE(button->geometry(), twipsToPixels(120, 5400, 975, 375));
    QCOMPARE(button->text(), QString::fromUtf8("تم"));
    QCOMPARE(QApplication::focusWidget(), button);
    delete guard;
}

void TestHelp::label()
{
    const DarkPalette dark; // the fixed ground must keep a fixed text
    std::unique_ptr<Frm_Help> help(new Frm_Help());
    auto *label = help->findChild<QLabel *>(QStringLiteral("Label1"));
    QCOMPARE(label->geometry(), twipsToPixels(120, 120, 4335, 5190));
    QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    QCOMPARE(label->palette().color(QPalette::Window), QColor(192, 192, 255));
    QVERIFY(readable(label->palette()));
    QCOMPARE(label->layoutDirection(), Qt::RightToLeft);
    QCOMPARE(label->font().pointSizeF(), 9.75);
    QVERIFY(!label->font().bold());
    QCOMPARE(label->font().families().value(0), QStringLiteral("Tahoma"));

    // Right-aligned on screen: the longest lines touch the right edge and
    // none reaches the left one.
    help->show();
    const InkGaps gaps = inkGaps(label);
    QVERIFY2(gaps.right >= 0 && gaps.right <= 2, qPrintable(QString::number(gaps.right)));
    QVERIFY2(gaps.left > 20, qPrintable(QString::number(gaps.left)));
    // All 21 lines fit the label's height.
    QVERIFY(QFontMetrics(label->font()).lineSpacing() * 21 <= label->height());
}

void TestHelp::closeWays_data()
{
    addCloseRows();
}

void TestHelp::closeWays()
{
    QFETCH(CloseWay, way);
    QFETCH(bool, closes);
    auto *help = new Frm_Help();
    QPointer<Frm_Help> guard(help);
    QVERIFY(showActive(help));
    QCOMPARE(closeAndCheckDestroyed(help, help->findChild<QPushButton *>(QStringLiteral("Command1")), way), closes);
    if (guard) {
        QVERIFY(guard->isVisible());
        delete guard;
    }
}

void TestHelp::reopenedWindowIsBuiltAfresh()
{
    auto *first = new Frm_Help();
    QVERIFY(showActive(first));
    const QRect firstPlace = first->geometry();
    const QString firstText = textOf(first);
    // Nothing of a closed window may carry over to the next one.
    first->findChild<QLabel *>(QStringLiteral("Label1"))->setText(QStringLiteral("changed"));
    QVERIFY(closeAndCheckDestroyed(first, nullptr, CloseWay::CloseBox));

    auto *second = new Frm_Help();
    QPointer<Frm_Help> guard(second);
    QVERIFY(showActive(second));
    QCOMPARE(second->geometry(), firstPlace);
    QCOMPARE(textOf(second), firstText);
    delete guard;
}

void TestHelp::aboutAndHelpOpenTogether()
{
    auto *help = new Frm_Help();
    auto *about = new Frm_About(std::make_shared<NullShell>());
    QPointer<Frm_Help> helpGuard(help);
    QPointer<Frm_About> aboutGuard(about);
    help->show();
    about->show();
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QVERIFY(QTest::qWaitForWindowExposed(about));

    QTest::keyClick(help, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(helpGuard.isNull());
    QVERIFY(aboutGuard && aboutGuard->isVisible());
    delete aboutGuard;
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
