#include "ButtonImageSet.h"
#include "Fakes.h"
#include "Frm_About.h"
#include "Frm_Help.h"
#include "Frm_Main.h"
#include "WindowSlot.h"
#include "ui_Frm_Main.h"

#include <QtTest>
#include <QImage>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// A test skin whose fifteen pictures tell themselves apart by size:
// picture i of the table is (30 + i) x (20 + i), all smaller than the stored
// 50 x 48 ones. A second skin adds `grow` to both sides.
void writeSkin(const QString &folder, int grow)
{
    QVERIFY(QDir().mkpath(folder));
    int i = 0;
    for (const auto &row : ButtonImageSet)
        for (std::string_view name : row) {
            QImage image(30 + i + grow, 20 + i + grow, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(i * 24, 200, 220));
            QVERIFY(image.save(folder + "/" + QString::fromLatin1(name.data(), qsizetype(name.size())), "JPEG"));
            ++i;
        }
}

QSize skinSize(SkinButton button, ButtonVisualState state, int grow = 0)
{
    const int i = int(button) * 3 + int(state);
    return QSize(30 + i + grow, 20 + i + grow);
}

const QSize StoredSize(50, 48);

struct Flags
{
    bool play, pause, stop, dplay, dpause, dstop;
    bool operator==(const Flags &) const = default;
};

} // namespace

namespace QTest {
template <> char *toString(const Flags &f)
{
    return qstrdup(QStringLiteral("Play %1 Pause %2 Stop %3 DPlay %4 DPause %5 DStop %6")
                       .arg(f.play).arg(f.pause).arg(f.stop).arg(f.dplay).arg(f.dpause).arg(f.dstop)
                       .toUtf8());
}
} // namespace QTest

// Enabled flags of the three buttons, then Visible flags of the overlays.
const Flags AtStart{true, true, true, true, true, true};
const Flags AfterStop{true, false, false, false, true, true};
const Flags AfterPlay{false, true, true, true, false, false};
const Flags AfterPause{true, false, true, false, true, false};

class FrmMainTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    EventLog m_log;
    RecordingPlayback *m_playback = nullptr;
    QList<ScriptedDialog *> m_dialogs; // Cmo_1, Cmo_2, Cmo_Img
    std::unique_ptr<WindowSlot<Frm_Help>> m_help;
    std::unique_ptr<WindowSlot<Frm_About>> m_about;
    QPointer<Frm_Main> m_window;

    Frm_Main &w() { return *m_window; }
    const Ui::Frm_Main &ui() { return m_window->controls(); }

    Flags flags()
    {
        return {ui().Img_Play->isEnabled(), ui().Img_Pause->isEnabled(), ui().Img_Stop->isEnabled(),
                ui().Img_DPlay->isVisible(),  ui().Img_DPause->isVisible(), ui().Img_DStop->isVisible()};
    }

    // Points are in the client area's coordinates, sent to the window so that
    // Qt finds the control under them as it does for a real pointer.
    QPoint toWindow(QPoint clientPoint) { return ui().Frm_Background->mapTo(m_window, clientPoint); }
    void moveTo(QPoint p) { QTest::mouseMove(m_window->windowHandle(), toWindow(p)); }
    void press(QPoint p, Qt::MouseButton b = Qt::LeftButton)
    {
        QTest::mousePress(m_window->windowHandle(), b, {}, toWindow(p));
    }
    void release(QPoint p, Qt::MouseButton b = Qt::LeftButton)
    {
        QTest::mouseRelease(m_window->windowHandle(), b, {}, toWindow(p));
    }
    void click(QPoint p) { press(p); release(p); }
    QPoint inside(const QWidget *control) { return control->geometry().topLeft() + QPoint(4, 4); }
    static constexpr QPoint Background{10, 170};
    QSize shown(SkinButton b) { return w().button(b)->size(); }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        writeSkin(m_dir.path() + "/SkinDefault", 0);
        m_log = makeLog();
        m_dialogs.clear();
        m_help = std::make_unique<WindowSlot<Frm_Help>>();
        m_about = std::make_unique<WindowSlot<Frm_About>>();
        Frm_MainComponents parts;
        parts.programFolder = [this] { return m_dir.path(); };
        parts.makePlayback = [this] {
            auto playback = std::make_unique<RecordingPlayback>(m_log);
            m_playback = playback.get();
            return playback;
        };
        parts.makeDialog = [this](const OpenFileDialogSettings &, QWidget *) {
            static const char *names[] = {"Cmo_1", "Cmo_2", "Cmo_Img"};
            auto dialog = std::make_unique<ScriptedDialog>(names[m_dialogs.size()], m_log);
            m_dialogs << dialog.get();
            return dialog;
        };
        parts.helpSlot = m_help.get();
        parts.aboutSlot = m_about.get();
        m_window = new Frm_Main(parts);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
    }

    void cleanup()
    {
        delete m_window.data();
        for (QWidget *window : QApplication::topLevelWidgets())
            delete window;
        m_help.reset();
        m_about.reset();
    }

    void foldersFollowTheProgramFolder()
    {
        QCOMPARE(w().AppFolder, m_dir.path() + "/");
        QCOMPARE(w().SkinFolder, m_dir.path() + "//SkinDefault");
    }

    void windowIsFixedWithStoredPictures()
    {
        QCOMPARE(w().windowTitle(), QStringLiteral("Tandra"));
        QCOMPARE(w().minimumSize(), w().maximumSize());
        QCOMPARE(ui().Frm_Background->size(), QSize(375, 187));
        QVERIFY(!(w().windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(ui().Frm_Background->picture().size(), QSize(375, 188));
        QCOMPARE(flags(), AtStart);
        const QList<PictureButton *> all = ui().Frm_Background->findChildren<PictureButton *>();
        QCOMPARE(all.size(), 8);
        for (const PictureButton *b : all) {
            QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(b->objectName()));
            QCOMPARE(b->size(), StoredSize);
        }
        w().resize(600, 400);
        QCOMPARE(ui().Frm_Background->size(), QSize(375, 187));
    }

    void controlsStandInTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("topLeft");
        QTest::addColumn<QString>("onTop"); // what takes the mouse there at start
        QTest::newRow("Img_Play") << "Img_Play" << QPoint(60, 83) << "Img_DPlay";
        QTest::newRow("Img_Pause") << "Img_Pause" << QPoint(121, 92) << "Img_DPause";
        QTest::newRow("Img_Stop") << "Img_Stop" << QPoint(180, 94) << "Img_DStop";
        QTest::newRow("Img_1") << "Img_1" << QPoint(304, 69) << "Img_1";
        QTest::newRow("Img_2") << "Img_2" << QPoint(304, 118) << "Img_2";
        QTest::newRow("Img_DPlay") << "Img_DPlay" << QPoint(60, 83) << "Img_DPlay";
        QTest::newRow("Img_DPause") << "Img_DPause" << QPoint(121, 92) << "Img_DPause";
        QTest::newRow("Img_DStop") << "Img_DStop" << QPoint(180, 94) << "Img_DStop";
    }

    void controlsStandInTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QPoint, topLeft);
        QFETCH(QString, onTop);
        auto *control = ui().Frm_Background->findChild<PictureButton *>(name);
        QVERIFY(control);
        QCOMPARE(control->pos(), topLeft);
        // The corners too: Pause and Stop overlap by one pixel column.
        for (QPoint corner : {QPoint(1, 1), QPoint(48, 46), QPoint(25, 24)}) {
            const QWidget *hit = ui().Frm_Background->childAt(topLeft + corner);
            QVERIFY(hit);
            if (corner == QPoint(25, 24))
                QCOMPARE(hit->objectName(), onTop);
        }
    }

    void overlaysTakeTheMouseAtStart_data()
    {
        QTest::addColumn<QString>("overlay");
        QTest::newRow("Play") << "Img_DPlay";
        QTest::newRow("Pause") << "Img_DPause";
        QTest::newRow("Stop") << "Img_DStop";
    }

    void overlaysTakeTheMouseAtStart()
    {
        QFETCH(QString, overlay);
        const QPoint p = inside(ui().Frm_Background->findChild<PictureButton *>(overlay));
        moveTo(p);
        click(p);
        press(p, Qt::RightButton);
        release(p, Qt::RightButton);
        QVERIFY2(m_log->isEmpty(), qPrintable(m_log->join(", ")));
        QCOMPARE(flags(), AtStart);
        // No hover look on the buttons, and no background move either.
        for (SkinButton b : {SkinButton::Img_Play, SkinButton::Img_Pause, SkinButton::Img_Stop, SkinButton::Img_1,
                             SkinButton::Img_2})
            QCOMPARE(shown(b), StoredSize);
    }

    void menuCaptionsAndShortcuts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("Mnu_Open1") << "Mnu_Open1" << "إفتح 1" << "Ctrl+Q" << true;
        QTest::newRow("Mnu_Open2") << "Mnu_Open2" << "إفتح 2" << "Ctrl+W" << true;
        QTest::newRow("Mnu_Min") << "Mnu_Min" << "تصغير النافذة" << "" << true;
        QTest::newRow("Mnu_Exit") << "Mnu_Exit" << "خروج" << "Ctrl+G" << true;
        QTest::newRow("Mnu_Refresh") << "Mnu_Refresh" << "تحديث" << "F5" << true;
        QTest::newRow("Mnu_Play") << "Mnu_Play" << "تشغيل" << "Ctrl+Z" << true;
        QTest::newRow("Mnu_Pause") << "Mnu_Pause" << "تأني" << "Ctrl+X" << true;
        QTest::newRow("Mnu_Stop") << "Mnu_Stop" << "توقف" << "Ctrl+C" << true;
        QTest::newRow("Mnu_ChoseSkin") << "Mnu_ChoseSkin" << "إختيار السمة" << "Ctrl+K" << false;
        QTest::newRow("Mnu_Help") << "Mnu_Help" << "مساعدة" << "F1" << true;
        QTest::newRow("Mnu_About") << "Mnu_About" << "عن البرنامج" << "F2" << true;
    }

    void menuCaptionsAndShortcuts()
    {
        QFETCH(QString, name);
        auto *action = w().findChild<QAction *>(name);
        QVERIFY(action);
        QTEST(action->text(), "caption");
        QTEST(action->shortcut().toString(QKeySequence::PortableText), "shortcut");
        QTEST(action->isEnabled(), "enabled");
        QVERIFY(action->isVisible() && !action->isCheckable());
    }

    void menuTreeIsInOrder()
    {
        QStringList tree;
        for (QAction *top : w().menuBar()->actions()) {
            tree << top->menu()->objectName() + "=" + top->text();
            for (QAction *item : top->menu()->actions())
                tree << "  " + (item->isSeparator() ? item->objectName() + "=-" : item->objectName());
        }
        QCOMPARE(tree, (QStringList{"Mnu_File=ملف", "  Mnu_Open1", "  Mnu_Open2", "  Mnu_space1=-", "  Mnu_Min",
                                    "  Mnu_Exit", "Mnu_Edit=تعديل", "  Mnu_Refresh", "Mnu_Ply=تشغيل", "  Mnu_Play",
                                    "  Mnu_Pause", "  Mnu_Stop", "Mnu_View=عرض", "  Mnu_ChoseSkin",
                                    "Mnu_Hlp=مساعدة", "  Mnu_Help", "  Mnu_About"}));
    }

    void switchedOffAndEmptyCommandsDoNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Ctrl+K") << int(Qt::Key_K) << int(Qt::ControlModifier);
        QTest::newRow("F5") << int(Qt::Key_F5) << 0;
    }

    void switchedOffAndEmptyCommandsDoNothing()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        const QString skinFolder = w().SkinFolder;
        QTest::keyClick(m_window, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        ui().Mnu_ChoseSkin->trigger();
        QVERIFY2(m_log->isEmpty(), qPrintable(m_log->join(", ")));
        QCOMPARE(w().SkinFolder, skinFolder);
        QCOMPARE(flags(), AtStart);
    }

    void shortcutsRunTheCoveredButtonsHandlers_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<Flags>("after");
        QTest::newRow("Ctrl+Z plays") << int(Qt::Key_Z)
                                      << QStringList{"Mmc_1: open", "Mmc_1: play", "Mmc_2: open", "Mmc_2: play"}
                                      << AfterPlay;
        QTest::newRow("Ctrl+X pauses") << int(Qt::Key_X) << QStringList{"Mmc_1: pause", "Mmc_2: pause"} << AfterPause;
        QTest::newRow("Ctrl+C stops") << int(Qt::Key_C) << QStringList{"Mmc_1: close", "Mmc_2: close"} << AfterStop;
        QTest::newRow("Ctrl+Q opens 1") << int(Qt::Key_Q)
                                        << QStringList{"Mmc_1: close", "Mmc_2: close", "Cmo_1: show"} << AfterStop;
        QTest::newRow("Ctrl+W opens 2") << int(Qt::Key_W)
                                        << QStringList{"Mmc_1: close", "Mmc_2: close", "Cmo_2: show"} << AfterStop;
    }

    void shortcutsRunTheCoveredButtonsHandlers()
    {
        QFETCH(int, key);
        QTest::keyClick(m_window, Qt::Key(key), Qt::ControlModifier);
        QTEST(*m_log, "words");
        QTEST(flags(), "after");
    }

    void stateTableByButtonsAndByMenu()
    {
        m_dialogs[0]->answer("/music/one.wav");
        click(inside(ui().Img_1));
        QCOMPARE(flags(), AfterStop);
        QCOMPARE(m_playback->channel(0).fileName(), QStringLiteral("/music/one.wav"));
        click(inside(ui().Img_Play));
        QCOMPARE(flags(), AfterPlay);
        click(inside(ui().Img_Pause));
        QCOMPARE(flags(), AfterPause);
        click(inside(ui().Img_Play)); // Play after Pause opens and plays again
        QCOMPARE(flags(), AfterPlay);
        click(inside(ui().Img_Stop));
        QCOMPARE(flags(), AfterStop);
        QCOMPARE(*m_log, (QStringList{"Mmc_1: close", "Mmc_2: close", "Cmo_1: show", "Mmc_1 file: /music/one.wav",
                                      "Mmc_1: open", "Mmc_1: play", "Mmc_2: open", "Mmc_2: play", "Mmc_1: pause",
                                      "Mmc_2: pause", "Mmc_1: open", "Mmc_1: play", "Mmc_2: open", "Mmc_2: play",
                                      "Mmc_1: close", "Mmc_2: close"}));

        // The menu runs the handlers whatever the looks show: Pause twice.
        m_log->clear();
        ui().Mnu_Pause->trigger();
        ui().Mnu_Pause->trigger();
        QCOMPARE(flags(), AfterPause);
        ui().Mnu_Play->trigger();
        QCOMPARE(flags(), AfterPlay);
        ui().Mnu_Stop->trigger();
        ui().Mnu_Stop->trigger();
        QCOMPARE(flags(), AfterStop);
        m_dialogs[1]->answer(QString());
        ui().Mnu_Open2->trigger();
        QCOMPARE(flags(), AfterStop);
        QCOMPARE(m_log->count("Mmc_1: pause"), 2);
        QCOMPARE(m_log->count("Mmc_1: close"), 3);
        QVERIFY(!m_log->contains("Mmc_2 file: "));
    }

    void pointerLooks()
    {
        using S = SkinButton;
        using V = ButtonVisualState;
        // Before any event: the stored pictures.
        QCOMPARE(shown(S::Img_1), StoredSize);

        moveTo(Background);
        for (S b : {S::Img_Play, S::Img_Pause, S::Img_Stop, S::Img_1, S::Img_2})
            QCOMPARE(shown(b), skinSize(b, V::Normal));

        moveTo(inside(ui().Img_1));
        QCOMPARE(shown(S::Img_1), skinSize(S::Img_1, V::Hover));
        QCOMPARE(shown(S::Img_2), skinSize(S::Img_2, V::Normal));

        // Straight from Img_1 onto Img_2.
        moveTo(inside(ui().Img_2));
        QCOMPARE(shown(S::Img_1), skinSize(S::Img_1, V::Normal));
        QCOMPARE(shown(S::Img_2), skinSize(S::Img_2, V::Hover));

        // After Play, from Pause onto Stop with no background in between.
        ui().Mnu_Play->trigger();
        moveTo(inside(ui().Img_Pause));
        moveTo(inside(ui().Img_Stop));
        QCOMPARE(shown(S::Img_Pause), skinSize(S::Img_Pause, V::Hover));
        QCOMPARE(shown(S::Img_Stop), skinSize(S::Img_Stop, V::Hover));

        // Any mouse button presses; a move while held hovers again.
        press(inside(ui().Img_Stop), Qt::RightButton);
        QCOMPARE(shown(S::Img_Stop), skinSize(S::Img_Stop, V::Pressed));
        release(inside(ui().Img_Stop), Qt::RightButton);
        QCOMPARE(shown(S::Img_Stop), skinSize(S::Img_Stop, V::Pressed));
        QCOMPARE(flags(), AfterPlay); // a right click is no click

        press(inside(ui().Img_Pause));
        QCOMPARE(shown(S::Img_Pause), skinSize(S::Img_Pause, V::Pressed));
        QTest::mouseMove(m_window->windowHandle(), toWindow(Background)); // grabbed by the pressed button
        QCOMPARE(shown(S::Img_Pause), skinSize(S::Img_Pause, V::Hover));
        QCOMPARE(shown(S::Img_1), skinSize(S::Img_1, V::Normal));
        release(Background);
        QCOMPARE(flags(), AfterPlay); // released away from the button: no click
    }

    void clickedChannelEndsNormalEvenAfterCancel()
    {
        moveTo(inside(ui().Img_2));
        press(inside(ui().Img_2));
        QCOMPARE(shown(SkinButton::Img_2), skinSize(SkinButton::Img_2, ButtonVisualState::Pressed));
        release(inside(ui().Img_2)); // the dialog is cancelled
        QCOMPARE(shown(SkinButton::Img_2), skinSize(SkinButton::Img_2, ButtonVisualState::Normal));
        QVERIFY(m_log->contains("Cmo_2: show"));
        // A double-click clicks once; its second press only shows as pressed.
        QTest::mouseDClick(m_window->windowHandle(), Qt::LeftButton, {}, toWindow(inside(ui().Img_2)));
        QCOMPARE(shown(SkinButton::Img_2), skinSize(SkinButton::Img_2, ButtonVisualState::Pressed));
        release(inside(ui().Img_2));
        QCOMPARE(m_log->count("Cmo_2: show"), 2);
    }

    void newSkinShowsLazily()
    {
        using S = SkinButton;
        using V = ButtonVisualState;
        writeSkin(m_dir.path() + "/Blue", 5);
        moveTo(inside(ui().Img_1));
        m_dialogs[2]->answer(QDir::toNativeSeparators(m_dir.path() + "/Blue/blue.skn"));
        w().Mnu_ChoseSkin_Click();
        QCOMPARE(w().SkinFolder, QDir::toNativeSeparators(m_dir.path() + "/Blue"));
        QCOMPARE(shown(S::Img_1), skinSize(S::Img_1, V::Hover)); // nothing reloaded yet

        moveTo(Background);
        for (S b : {S::Img_Play, S::Img_Pause, S::Img_Stop, S::Img_1, S::Img_2})
            QCOMPARE(shown(b), skinSize(b, V::Normal, 5));
        moveTo(inside(ui().Img_1));
        QCOMPARE(shown(S::Img_1), skinSize(S::Img_1, V::Hover, 5));

        // A cancel keeps the chosen skin.
        w().Mnu_ChoseSkin_Click();
        QCOMPARE(w().SkinFolder, QDir::toNativeSeparators(m_dir.path() + "/Blue"));
    }

    void missingSkinPicturesKeepTheCurrentOnes()
    {
        QVERIFY(QFile::remove(m_dir.path() + "/SkinDefault/b0017.jpg"));
        QFile corrupt(m_dir.path() + "/SkinDefault/B0001.jpg");
        QVERIFY(corrupt.open(QIODevice::WriteOnly | QIODevice::Truncate));
        corrupt.write("not a picture");
        corrupt.close();
        moveTo(Background);
        QCOMPARE(shown(SkinButton::Img_Play), StoredSize);
        QCOMPARE(shown(SkinButton::Img_1), StoredSize);
        // The swaps after the failing ones still happen.
        QCOMPARE(shown(SkinButton::Img_Pause), skinSize(SkinButton::Img_Pause, ButtonVisualState::Normal));
        QCOMPARE(shown(SkinButton::Img_2), skinSize(SkinButton::Img_2, ButtonVisualState::Normal));
    }

    void minimiseCommand()
    {
        ui().Mnu_Min->trigger();
        QVERIFY(w().windowState() & Qt::WindowMinimized);
        QVERIFY(m_log->isEmpty());
    }

    void oneHelpAndOneAboutWindow()
    {
        w().Mnu_Help_Click();
        Frm_Help *help = m_help->window();
        QVERIFY(help && help->isVisible());
        QVERIFY(!help->parentWidget());
        w().Mnu_Help_Click();
        QCOMPARE(m_help->window(), help);
        QTest::keyClick(m_window, Qt::Key_F2);
        Frm_About *about = m_about->window();
        QVERIFY(about && about->isVisible() && help->isVisible());
        const QWidgetList windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.begin(), windows.end(),
                               [](const QWidget *w) { return qobject_cast<const Frm_Help *>(w) != nullptr; }),
                 1);

        // Closed, it is built anew at the next command.
        QPointer<Frm_Help> closed = help;
        QVERIFY(help->close());
        QTRY_VERIFY(closed.isNull());
        QVERIFY(!m_help->window());
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        QTest::keyClick(m_window, Qt::Key_F1);
        QVERIFY(m_help->window() && m_help->window()->isVisible());
    }

    void aboutWindowOutlivesTheMainWindow()
    {
        w().Mnu_About_Click();
        bool aboutAloneKeptRunning = false;
        QTimer::singleShot(0, m_window, [this] { m_window->close(); });
        QTimer::singleShot(300, qApp, [&] {
            aboutAloneKeptRunning = m_window.isNull() && m_about->window() && m_about->window()->isVisible();
            if (m_about->window())
                m_about->window()->close();
        });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
        QGuiApplication::setQuitOnLastWindowClosed(true);
        QCOMPARE(QApplication::exec(), 0); // ended by the last window closing
        QVERIFY(aboutAloneKeptRunning);
    }
};

QTEST_MAIN(FrmMainTest)
#include "tst_frm_main.moc"
