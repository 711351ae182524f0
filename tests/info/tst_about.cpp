#include "Frm_About.h"
#include "InfoTestSupport.h"
#include "LinkLabel.h"
#include "ShellLayer.h"
#include "SystemColors.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include <optional>
#include <vector>

using namespace infotest;

namespace {

struct ShellCall
{
    quintptr owner;
    QByteArray operation;
    QByteArray file;
    bool parametersNull;
    bool directoryNull;
    int showCommand;
};

class RecordingShell : public ShellLayer
{
public:
    explicit RecordingShell(bool succeeds = true)
        : m_succeeds(succeeds)
    {
    }

    bool ShellExecuteA(quintptr owner, const char *operation, const char *file, const char *parameters,
                       const char *directory, int showCommand) override
    {
        calls.push_back({owner, operation, file, parameters == nullptr, directory == nullptr, showCommand});
        return m_succeeds;
    }

    std::vector<ShellCall> calls;

private:
    bool m_succeeds;
};

class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void handle(const QUrl &url) { urls.append(url); }
};

bool underlined(Frm_About *about, int index)
{
    return about->link_Label(index)->font().underline();
}

// A point in twips on the window's own background, between the rights
// notice and the first link label.
const QPointF backgroundPoint(3000, 2700);

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void hoverMargin_data();
    void hoverMargin();
    void hoverReadsTheSizeAnew();
    void jumpBetweenMembersKeepsBothUntilBackgroundMove();
    void controlsDoNotClearTheUnderline_data();
    void controlsDoNotClearTheUnderline();
    void clickOpensTag_data();
    void screenReaderSeesTheLinks_data();
    void screenReaderSeesTheLinks();
    void clickOpensTag();
    void failingShellLeavesWindowAsItWas();
    void reopenedWindowShowsNoUnderline();
    void closeWays_data();
    void closeWays();
    void windowAndFocus();
    void layout_data();
    void layout();
    void texts_data();
    void texts();
    void alignmentOnScreen_data();
    void alignmentOnScreen();
    void colours_data();
    void colours();
    void desktopShellLayer_data();
    void desktopShellLayer();
};

void TestAbout::hoverMargin_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QPointF>("twips");
    QTest::addColumn<Qt::MouseButtons>("buttons");
    QTest::addColumn<bool>("expected");

    // The link labels are 3855 x 255 twips: inside is 40 < X < 3815, 40 < Y < 215.
    for (int index : {0, 1}) {
        auto row = [index](const char *name) -> QTestData & { return QTest::addRow("member %d, %s", index, name); };
        row("centre") << index << QPointF(1900, 120) << Qt::MouseButtons() << true;
        row("X at margin") << index << QPointF(40, 120) << Qt::MouseButtons() << false;
        row("X half a twip inside") << index << QPointF(40.5, 120) << Qt::MouseButtons() << true;
        row("Y at margin") << index << QPointF(1900, 40) << Qt::MouseButtons() << false;
        row("Y half a twip inside") << index << QPointF(1900, 40.5) << Qt::MouseButtons() << true;
        row("X at W-40") << index << QPointF(3815, 120) << Qt::MouseButtons() << false;
        row("X half a twip short of W-40") << index << QPointF(3814.5, 120) << Qt::MouseButtons() << true;
        row("Y at H-40") << index << QPointF(1900, 215) << Qt::MouseButtons() << false;
        row("Y half a twip short of H-40") << index << QPointF(1900, 214.5) << Qt::MouseButtons() << true;
        row("left band") << index << QPointF(15, 120) << Qt::MouseButtons() << false;
        row("left held, centre") << index << QPointF(1900, 120) << Qt::MouseButtons(Qt::LeftButton) << true;
        row("left held, X at margin") << index << QPointF(40, 120) << Qt::MouseButtons(Qt::LeftButton) << false;
        row("right held, inside") << index << QPointF(40.5, 214.5) << Qt::MouseButtons(Qt::RightButton) << true;
        row("both held, Y at H-40") << index << QPointF(1900, 215)
                                     << Qt::MouseButtons(Qt::LeftButton | Qt::RightButton) << false;
    }
}

void TestAbout::hoverMargin()
{
    QFETCH(int, index);
    QFETCH(QPointF, twips);
    QFETCH(Qt::MouseButtons, buttons);
    QFETCH(bool, expected);

    Frm_About about(std::make_shared<RecordingShell>());
    const int other = 1 - index;
    // Start from the opposite look, so that the move has to write the flag;
    // the other member is underlined and must stay so.
    moveOver(about.link_Label(other), QPointF(1900, 120));
    moveOver(about.link_Label(index), expected ? QPointF(10, 10) : QPointF(1900, 120));
    QCOMPARE(underlined(&about, index), !expected);

    moveOver(about.link_Label(index), twips, buttons);
    QCOMPARE(underlined(&about, index), expected);
    QVERIFY(underlined(&about, other));
}

void TestAbout::hoverReadsTheSizeAnew()
{
    Frm_About about(std::make_shared<RecordingShell>());
    LinkLabel *link = about.link_Label(0);
    moveOver(link, QPointF(3000, 120));
    QVERIFY(underlined(&about, 0));
    link->resize(100, link->height()); // 1500 twips wide now
    moveOver(link, QPointF(3000, 120));
    QVERIFY(!underlined(&about, 0));
    moveOver(link, QPointF(1459.5, 120));
    QVERIFY(underlined(&about, 0));
}

void TestAbout::jumpBetweenMembersKeepsBothUntilBackgroundMove()
{
    Frm_About about(std::make_shared<RecordingShell>());
    moveOver(about.link_Label(0), QPointF(1900, 120));
    moveOver(about.link_Label(1), QPointF(1900, 120));
    QVERIFY(underlined(&about, 0));
    QVERIFY(underlined(&about, 1));

    moveOver(&about, backgroundPoint);
    QVERIFY(!underlined(&about, 0));
    QVERIFY(!underlined(&about, 1));
}

void TestAbout::controlsDoNotClearTheUnderline_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<Qt::MouseButtons>("buttons");
    for (const char *name : {"Label1", "Label2", "Label3", "Label4", "Picture1", "Cmd_Ok"}) {
        QTest::addRow("%s", name) << QString::fromLatin1(name) << Qt::MouseButtons();
        QTest::addRow("%s, left held", name) << QString::fromLatin1(name) << Qt::MouseButtons(Qt::LeftButton);
    }
}

void TestAbout::controlsDoNotClearTheUnderline()
{
    QFETCH(QString, control);
    QFETCH(Qt::MouseButtons, buttons);
    Frm_About about(std::make_shared<RecordingShell>());
    moveOver(about.link_Label(0), QPointF(1900, 120));
    moveOver(about.link_Label(1), QPointF(1900, 120));
    // Only the bare background clears the links; moves over other controls,
    // also while a button is held on them, are theirs.
    moveOver(about.findChild<QWidget *>(control), QPointF(200, 200), buttons);
    QVERIFY(underlined(&about, 0));
    QVERIFY(underlined(&about, 1));
}

void TestAbout::clickOpensTag_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("doubleClick");
    for (int index : {0, 1}) {
        QTest::addRow("member %d, centre", index) << index << QPoint(128, 8) << Qt::LeftButton << true << false;
        QTest::addRow("member %d, outer band", index) << index << QPoint(1, 1) << Qt::LeftButton << true << false;
        QTest::addRow("member %d, right button", index) << index << QPoint(128, 8) << Qt::RightButton << false << false;
        QTest::addRow("member %d, double-click", index) << index << QPoint(128, 8) << Qt::LeftButton << true << true;
    }
}

void TestAbout::clickOpensTag()
{
    QFETCH(int, index);
    QFETCH(QPoint, pixel);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, opens);
    QFETCH(bool, doubleClick);

    auto shell = std::make_shared<RecordingShell>();
    Frm_About about(shell);
    LinkLabel *link = about.link_Label(index);
    moveOver(link, QPointF(pixel) * TwipsPerPixel);
    const bool underlineBefore = underlined(&about, index);
    QTest::mouseClick(link, button, Qt::NoModifier, pixel);
    if (doubleClick) { // what a widget gets for the second press and release
        QTest::mouseDClick(link, button, Qt::NoModifier, pixel);
        QTest::mouseRelease(link, button, Qt::NoModifier, pixel);
    }

    if (!opens) {
        QVERIFY(shell->calls.empty());
        return;
    }
    QCOMPARE(shell->calls.size(), std::size_t(1));
    const ShellCall &call = shell->calls.front();
    QCOMPARE(call.owner, quintptr(0));
    QCOMPARE(call.operation, QByteArray("open"));
    QCOMPARE(call.file, link->tag().toLocal8Bit());
    QVERIFY(call.parametersNull);
    QVERIFY(call.directoryNull);
    QCOMPARE(call.showCommand, 3);
    QCOMPARE(underlined(&about, index), underlineBefore);

    // Placeholder addresses until the project has a home page of its own.
    const QUrl url(link->tag());
    QCOMPARE(url.scheme(), QStringLiteral("https"));
    QCOMPARE(url.host(), QStringLiteral("example.org"));
    QVERIFY(link->tag() != about.link_Label(1 - index)->tag());
}

void TestAbout::screenReaderSeesTheLinks_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::newRow("member 0") << 0 << QString::fromUtf8("إضغط هنا للمزيد من المعلومات حول البرنامج");
    QTest::newRow("member 1") << 1 << QString::fromUtf8("إضغط هنا للحصول على برامج أخرى");
}

void TestAbout::screenReaderSeesTheLinks()
{
    QFETCH(int, index);
    auto shell = std::make_shared<RecordingShell>();
    Frm_About about(shell);
    const QString address = about.link_Label(index)->tag();
    QAccessibleInterface *link = QAccessible::queryAccessibleInterface(about.link_Label(index));
    QVERIFY(link && link->actionInterface());
    QCOMPARE(link->role(), QAccessible::Link);
    QTEST(link->text(QAccessible::Name), "caption");
    QCOMPARE(link->text(QAccessible::Description), address);
    QCOMPARE(link->actionInterface()->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(shell->calls.size(), std::size_t(1));
    QCOMPARE(shell->calls.front().file, address.toLocal8Bit());
}

void TestAbout::failingShellLeavesWindowAsItWas()
{
    auto shell = std::make_shared<RecordingShell>(false);
    auto *about = new Frm_About(shell);
    QPointer<Frm_About> guard(about);
    about->show();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    moveOver(about->link_Label(1), QPointF(1900, 120));
    const QWidgetList before = QApplication::topLevelWidgets();
    const QImage look = about->grab().toImage();

    QTest::mouseClick(about->link_Label(1), Qt::LeftButton, Qt::NoModifier, QPoint(128, 8));
    QCoreApplication::processEvents();
    QCOMPARE(shell->calls.size(), std::size_t(1));

    QVERIFY(guard && about->isVisible());
    QVERIFY(underlined(about, 1));
    QVERIFY(!underlined(about, 0));
    QCOMPARE(QApplication::topLevelWidgets(), before); // no message of any kind
    QCOMPARE(about->grab().toImage(), look);
    delete guard;
}

void TestAbout::reopenedWindowShowsNoUnderline()
{
    auto *first = new Frm_About(std::make_shared<RecordingShell>());
    first->show();
    moveOver(first->link_Label(0), QPointF(1900, 120));
    moveOver(first->link_Label(1), QPointF(1900, 120));
    QVERIFY(underlined(first, 0) && underlined(first, 1));
    QVERIFY(closeAndCheckDestroyed(first, nullptr, CloseWay::CloseBox));

    auto *second = new Frm_About(std::make_shared<RecordingShell>());
    QPointer<Frm_About> guard(second);
    second->show();
    QVERIFY(!underlined(second, 0));
    QVERIFY(!underlined(second, 1));
    delete guard;
}

void TestAbout::closeWays_data()
{
    addCloseRows();
}

void TestAbout::closeWays()
{
    QFETCH(CloseWay, way);
    QFETCH(bool, closes);
    auto *about = new Frm_About(std::make_shared<RecordingShell>());
    QPointer<Frm_About> guard(about);
    QVERIFY(showActive(about));
    QCOMPARE(closeAndCheckDestroyed(about, about->findChild<QPushButton *>(QStringLiteral("Cmd_Ok")), way),
             closes);
    if (guard) {
        QVERIFY(guard->isVisible());
        delete guard;
    }
}

void TestAbout::windowAndFocus()
{
    auto *about = new Frm_About();
    QPointer<Frm_About> guard(about);
    QVERIFY(about->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(about->parentWidget() == nullptr);
    QCOMPARE(about->windowTitle(), QString::fromUtf8("عن البرنامج"));
    QCOMPARE(about->size(), QSize(363, 231));
    QCOMPARE(about->minimumSize(), about->maximumSize());
    const Qt::WindowFlags flags = about->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(about->windowIcon().isNull());

    QVERIFY(showActive(about));
    const QPoint off = about->frameGeometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2(qAbs(off.x()) <= 3 && qAbs(off.y()) <= 3, qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));

    // The logo box holds the focus first; Tab goes to the button and back.
    QWidget *logo = about->findChild<QWidget *>(QStringLiteral("Picture1"));
    QWidget *ok = about->findChild<QWidget *>(QStringLiteral("Cmd_Ok"));
    QCOMPARE(QApplication::focusWidget(), logo);
    QTest::keyClick(logo, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), ok);
    QTest::keyClick(ok, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), logo);

    // The logo sits at the box's top-left corner at its own size.
    const QImage box = logo->grab().toImage();
    const QImage picture(QStringLiteral(":/pictures/logo.jpg"));
    QVERIFY(!picture.isNull());
    QCOMPARE(box.copy(0, 0, picture.width(), picture.height()).convertToFormat(QImage::Format_RGB32),
             picture.convertToFormat(QImage::Format_RGB32));
    delete guard;
}

void TestAbout::layout_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<bool>("takesFocus");
    QTest::newRow("Picture1") << "Picture1" << QRect(120, 120, 795, 735) << true;
    QTest::newRow("Cmd_Ok") << "Cmd_Ok" << QRect(120, 2760, 1215, 615) << true;
    QTest::newRow("Label2") << "Label2" << QRect(120, 960, 1215, 1695) << false;
    QTest::newRow("Label3") << "Label3" << QRect(1440, 2400, 3855, 255) << false;
    QTest::newRow("Label4") << "Label4" << QRect(1080, 120, 4215, 735) << false;
    QTest::newRow("link_Label 0") << "link_Label_0" << QRect(1440, 2760, 3855, 255) << false;
    QTest::newRow("link_Label 1") << "link_Label_1" << QRect(1440, 3120, 3855, 255) << false;
    QTest::newRow("Label1") << "Label1" << QRect(1440, 960, 3855, 1335) << false;
}

void TestAbout::layout()
{
    QFETCH(QString, control);
    QFETCH(QRect, twips);
    QFETCH(bool, takesFocus);
    Frm_About about(std::make_shared<RecordingShell>());
    QWidget *widget = about.findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), twipsToPixels(twips.x(), twips.y(), twips.width(), twips.height()));
    QCOMPARE(widget->focusPolicy() != Qt::NoFocus, takesFocus);
    QVERIFY(widget->cursor().shape() == Qt::ArrowCursor);
}

void TestAbout::texts_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("pointSize");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("family");
    QTest::newRow("Cmd_Ok") << "Cmd_Ok" << QString::fromUtf8("تم") << 8.25 << false << "MS Sans Serif";
    QTest::newRow("Label2") << "Label2"
                            << QStringLiteral(" V 0.2\n  Language : Ar\n  Year : 2006\n  Status  : Demo") << 8.25
                            << false << "Tahoma";
    QTest::newRow("Label4") << "Label4" << QString::fromUtf8("برنامج Tandra") << 15.75 << true << "Arial";
    QTest::newRow("link_Label 0") << "link_Label_0"
                                  << QString::fromUtf8("إضغط هنا للمزيد من المعلومات حول البرنامج") << 9.0 << true
                                  << "Tahoma";
    QTest::newRow("link_Label 1") << "link_Label_1" << QString::fromUtf8("إضغط هنا للحصول على برامج أخرى") << 9.0
                                  << true << "Tahoma";
    QTest::newRow("Label1") << "Label1"
                            << QString::fromUtf8("هذا البرنامج يستطيع تشغيل ملفين صوتيين في آن واحد وليس واحدا كما هو "
                                                 "معتاد في أغلب البرامج .\n"
                                                 "كما يستطيع تشغيل ملفات الفيديو في (Windows XP) فقط .\n"
                                                 "البرنامج لا يزال تجريبي.")
                            << 9.0 << false << "Tahoma";
}

void TestAbout::texts()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(double, pointSize);
    QFETCH(bool, bold);
    QFETCH(QString, family);
    Frm_About about(std::make_shared<RecordingShell>());
    QWidget *widget = about.findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(widget->property("text").toString(), text);
    QCOMPARE(widget->font().pointSizeF(), pointSize);
    QCOMPARE(widget->font().bold(), bold);
    QCOMPARE(widget->font().families().value(0), family);
    QVERIFY(!widget->font().underline());
}

void TestAbout::alignmentOnScreen_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("side");
    QTest::addColumn<Qt::LayoutDirection>("direction");
    QTest::addColumn<int>("lines");
    // Label1's last line is short; Label2's first line is its shortest.
    QTest::newRow("Label1") << "Label1" << "right" << Qt::RightToLeft << 0;
    QTest::newRow("link_Label 0") << "link_Label_0" << "right" << Qt::LeftToRight << 0;
    QTest::newRow("link_Label 1") << "link_Label_1" << "right" << Qt::LeftToRight << 0;
    QTest::newRow("Label2") << "Label2" << "left" << Qt::LeftToRight << 1;
    QTest::newRow("Label3") << "Label3" << "centre" << Qt::RightToLeft << 0;
    QTest::newRow("Label4") << "Label4" << "centre" << Qt::RightToLeft << 0;
}

void TestAbout::alignmentOnScreen()
{
    QFETCH(QString, control);
    QFETCH(QString, side);
    QFETCH(Qt::LayoutDirection, direction);
    QFETCH(int, lines);
    Frm_About about(std::make_shared<RecordingShell>());
    about.show();
    auto *label = about.findChild<QLabel *>(control);
    QCOMPARE(label->layoutDirection(), direction);
    const InkGaps gaps = inkGaps(label, lines);
    const QString seen = QStringLiteral("left %1, right %2").arg(gaps.left).arg(gaps.right);
    QVERIFY2(gaps.left >= 0 && gaps.right >= 0, qPrintable(seen));
    if (side == QLatin1String("right"))
        QVERIFY2(gaps.right <= 2 && gaps.left > gaps.right + 5, qPrintable(seen));
    else if (side == QLatin1String("left"))
        QVERIFY2(gaps.left <= 4 && gaps.right > gaps.left + 10, qPrintable(seen));
    else
        QVERIFY2(qAbs(gaps.left - gaps.right) <= 3 && gaps.left > 10, qPrintable(seen));
}

void TestAbout::colours_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<std::optional<SystemColor>>("background");
    QTest::addColumn<std::optional<SystemColor>>("text");
    QTest::addColumn<std::optional<QColor>>("fixedText");
    using S = SystemColor;
    const std::optional<QColor> none;
    QTest::newRow("window") << "Frm_About" << std::optional(S::COLOR_WINDOW) << std::optional<S>() << none;
    QTest::newRow("Label2") << "Label2" << std::optional(S::COLOR_INACTIVECAPTIONTEXT)
                            << std::optional(S::COLOR_WINDOWTEXT) << none;
    QTest::newRow("Label3") << "Label3" << std::optional(S::COLOR_APPWORKSPACE) << std::optional(S::COLOR_CAPTIONTEXT)
                            << none;
    QTest::newRow("Label4") << "Label4" << std::optional(S::COLOR_BACKGROUND) << std::optional(S::COLOR_CAPTIONTEXT)
                            << none;
    QTest::newRow("link_Label 0") << "link_Label_0" << std::optional(S::COLOR_3DLIGHT) << std::optional<S>()
                                  << std::optional(QColor(0, 0, 255));
    QTest::newRow("link_Label 1") << "link_Label_1" << std::optional(S::COLOR_3DLIGHT) << std::optional<S>()
                                  << std::optional(QColor(0, 0, 255));
    QTest::newRow("Label1") << "Label1" << std::optional(S::COLOR_INACTIVECAPTIONTEXT)
                            << std::optional(S::COLOR_WINDOWTEXT) << none;
}

void TestAbout::colours()
{
    QFETCH(QString, control);
    QFETCH(std::optional<SystemColor>, background);
    QFETCH(std::optional<SystemColor>, text);
    QFETCH(std::optional<QColor>, fixedText);
    const DarkPalette dark; // where the palette and the Windows scheme differ
    Frm_About about(std::make_shared<RecordingShell>());
    QWidget *widget = control == QLatin1String("Frm_About") ? &about : about.findChild<QWidget *>(control);
    QVERIFY(widget);
    // Only the window's bare ground follows the theme; every label has a fixed colour.
    const ColorScheme scheme = widget == &about ? ColorScheme::Palette : ColorScheme::Windows;
    if (widget != &about)
        QVERIFY(widget->autoFillBackground() && readable(widget->palette()));
    if (background)
        QCOMPARE(widget->palette().color(QPalette::Window), systemColor(*background, scheme));
    if (text)
        QCOMPARE(widget->palette().color(QPalette::WindowText), systemColor(*text, scheme));
    if (fixedText)
        QCOMPARE(widget->palette().color(QPalette::WindowText), *fixedText);
}

void TestAbout::desktopShellLayer_data()
{
    QTest::addColumn<QByteArray>("operation");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("parameters");
    QTest::addColumn<bool>("opens");
    QTest::newRow("https") << QByteArray("open") << QByteArray("https://example.org/a?b=c") << QByteArray() << true;
    QTest::newRow("http") << QByteArray("open") << QByteArray("http://example.org/") << QByteArray() << true;
    QTest::newRow("other operation") << QByteArray("print") << QByteArray("https://example.org/") << QByteArray()
                                     << false;
    QTest::newRow("local file") << QByteArray("open") << QByteArray("file:///bin/sh") << QByteArray() << false;
    QTest::newRow("bare path") << QByteArray("open") << QByteArray("/bin/sh") << QByteArray() << false;
    QTest::newRow("no host") << QByteArray("open") << QByteArray("https://") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("open") << QByteArray("") << QByteArray() << false;
    QTest::newRow("with parameters") << QByteArray("open") << QByteArray("https://example.org/")
                                     << QByteArray("--new-window") << false;
}

void TestAbout::desktopShellLayer()
{
    QFETCH(QByteArray, operation);
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, parameters);
    QFETCH(bool, opens);
    // The desktop's handlers are replaced for the test, so nothing starts.
    UrlRecorder recorder;
    const QStringList schemes{"http", "https", "file"};
    for (const QString &scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, &recorder, "handle");

    DesktopShellLayer shell;
    const bool result = shell.ShellExecuteA(0, operation.constData(), file.constData(),
                                            parameters.isNull() ? nullptr : parameters.constData(), nullptr,
                                            ShellLayer::SW_SHOWMAXIMIZED);
    for (const QString &scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);

    QCOMPARE(result, opens);
    if (opens) {
        QCOMPARE(recorder.urls.size(), 1);
        QCOMPARE(recorder.urls.front(), QUrl(QString::fromLocal8Bit(file)));
    } else {
        QVERIFY(recorder.urls.isEmpty());
    }
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
