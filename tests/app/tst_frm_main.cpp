#include "ButtonImageSet.h"
#include "ChannelMenu.h"
#include "CommandLine.h"
#include "Fakes.h"
#include "Frm_About.h"
#include "Frm_Help.h"
#include "Frm_Main.h"
#include "LevelDisplay.h"
#include "MprisPlayer.h"
#include "QtOpenFileDialog.h"
#include "SkinFolders.h"
#include "WindowSlot.h"
#include "ui_Frm_Main.h"

#include <QtTest>
#include <QAccessible>
#include <QCommandLineParser>
#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QFileDialog>
#include <QImage>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// A test skin whose fifteen pictures tell themselves apart by size:
// picture i of the table is (30 + i) x (20 + i), all smaller than the stored
// 50 x 48 ones. A second skin adds `grow` to both sides; with `sharp` it also
// has double-size pictures, one unit larger when shown, for dense screens.
void writeSkin(const QString &folder, int grow, bool sharp = false)
{
    QVERIFY(QDir().mkpath(folder));
    int i = 0;
    for (const auto &row : ButtonImageSet)
        for (std::string_view name : row) {
            QImage image(30 + i + grow, 20 + i + grow, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(i * 24, 200, 220));
            const QString file = QString::fromLatin1(name.data(), qsizetype(name.size()));
            QVERIFY(image.save(folder + "/" + file, "JPEG"));
            QVERIFY(!sharp || image.scaled(image.size() * 2 + QSize(2, 2)).save(folder + "/" + doubleSizeName(file)));
            ++i;
        }
}

QSize skinSize(SkinButton button, ButtonVisualState state, int grow = 0)
{
    const int i = int(button) * 3 + int(state);
    return QSize(30 + i + grow, 20 + i + grow);
}

const QSize StoredSize(50, 48);

// The sound server's outputs as the window is given them; one is named as
// another is described.
const SoundServerOutputs Outputs{{"tandra_null", "Tandra_null_sink"},
                                 {"phones", "Headphones & Mic"},
                                 {"usb", "USB Speakers"},
                                 {"USB Speakers", "HDMI"}};

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
    bool m_realDialogs = false; // QFileDialogs instead of scripted ones, for one test
    MprisPlayer *m_mpris = nullptr;
    SoundServerOutputs m_outputs;
    std::unique_ptr<QSignalSpy> m_announced;

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

    // One of the player's D-Bus interfaces, and a call to it as QtDBus makes
    // it: "Play", "Seek <us>", "SetPosition <us>", "OpenUri <uri>", "Raise",
    // "<property>=<value>".
    QObject *mpris(const char *interfaceName)
    {
        for (QDBusAbstractAdaptor *adaptor : m_mpris->findChildren<QDBusAbstractAdaptor *>())
            if (QByteArray(adaptor->metaObject()->classInfo(0).value()) == interfaceName)
                return adaptor;
        return nullptr;
    }
    QObject *player() { return mpris("org.mpris.MediaPlayer2.Player"); }
    QObject *root() { return mpris("org.mpris.MediaPlayer2"); }
    void mprisCall(const QString &call)
    {
        const QString name = call.section(QRegularExpression("[ =]"), 0, 0);
        const QString arg = call.section(QRegularExpression("[ =]"), 1);
        QObject *to = name == "Quit" || name == "Raise" ? root() : player();
        if (call.contains('='))
            to->setProperty(qPrintable(name), name == "Volume" ? QVariant(arg.toDouble()) : QVariant(arg));
        else if (name == "Seek")
            QMetaObject::invokeMethod(to, "Seek", Q_ARG(qlonglong, arg.toLongLong()));
        else if (name == "SetPosition")
            QMetaObject::invokeMethod(to, "SetPosition", Q_ARG(QDBusObjectPath, QDBusObjectPath("/org/tandra/Files")),
                                      Q_ARG(qlonglong, arg.toLongLong()));
        else if (name == "OpenUri")
            QMetaObject::invokeMethod(to, "OpenUri", Q_ARG(QString, arg));
        else if (!name.isEmpty())
            QVERIFY(QMetaObject::invokeMethod(to, qPrintable(name)));
    }
    // Every value announced for a property so far, in order.
    QVariantList announced(const QString &property)
    {
        QVariantList values;
        for (const QList<QVariant> &signal : std::as_const(*m_announced))
            if (signal[1].toMap().contains(property))
                values << signal[1].toMap().value(property);
        return values;
    }

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
        parts.makeDialog = [this](const OpenFileDialogSettings &settings,
                                  QWidget *parent) -> std::unique_ptr<OpenFileDialog> {
            if (m_realDialogs)
                return std::make_unique<QtOpenFileDialog>(settings, parent);
            static const char *names[] = {"Cmo_1", "Cmo_2", "Cmo_Img"};
            auto dialog = std::make_unique<ScriptedDialog>(names[m_dialogs.size()], m_log);
            m_dialogs << dialog.get();
            return dialog;
        };
        m_outputs = Outputs;
        parts.listOutputs = [this] { return m_outputs; };
        parts.helpSlot = m_help.get();
        parts.aboutSlot = m_about.get();
        m_window = new Frm_Main(parts);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        m_mpris = new MprisPlayer(*m_window);
        m_announced = std::make_unique<QSignalSpy>(m_mpris, &MprisPlayer::announced);
    }

    void cleanup()
    {
        m_realDialogs = false;
        m_announced.reset();
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
        // Run at scale 1 and 2: the stored double-size pictures serve the second.
        QCOMPARE(ui().Frm_Background->picture().deviceIndependentSize(), QSizeF(375, 188));
        QCOMPARE(ui().Frm_Background->picture().devicePixelRatio(), w().devicePixelRatio());
        QCOMPARE(flags(), AtStart);
        const QList<PictureButton *> all = ui().Frm_Background->findChildren<PictureButton *>();
        QCOMPARE(all.size(), 8);
        for (const PictureButton *b : all) {
            QVERIFY2(b->isVisible() && b->isEnabled(), qPrintable(b->objectName()));
            QCOMPARE(b->size(), StoredSize);
            QCOMPARE(b->picture().devicePixelRatio(), w().devicePixelRatio());
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

    void keysFollowTheLooks_data()
    {
        const QStringList play{"Mmc_1: open", "Mmc_1: play", "Mmc_2: open", "Mmc_2: play"};
        const QStringList pause{"Mmc_1: pause", "Mmc_2: pause"};
        QTest::addColumn<QString>("before"); // the menu command run first
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("status"); // MPRIS's name for the looks after
        QTest::newRow("Right at start") << "" << int(Qt::Key_Right) << QStringList() << "Stopped";
        QTest::newRow("Right after Stop") << "Mnu_Stop" << int(Qt::Key_Right) << QStringList() << "Stopped";
        QTest::newRow("Right while playing") << "Mnu_Play" << int(Qt::Key_Right) << QStringList{"seek by 5000"} << "Playing";
        QTest::newRow("Left while paused") << "Mnu_Pause" << int(Qt::Key_Left) << QStringList{"seek by -5000"} << "Paused";
        QTest::newRow("Play/Pause at start") << "" << int(Qt::Key_MediaTogglePlayPause) << play << "Playing";
        QTest::newRow("Play/Pause while playing") << "Mnu_Play" << int(Qt::Key_MediaTogglePlayPause) << pause << "Paused";
        QTest::newRow("Play/Pause while paused") << "Mnu_Pause" << int(Qt::Key_MediaTogglePlayPause) << play << "Playing";
        QTest::newRow("Play while playing") << "Mnu_Play" << int(Qt::Key_MediaPlay) << play << "Playing";
        QTest::newRow("Pause while stopped") << "Mnu_Stop" << int(Qt::Key_MediaPause) << pause << "Paused";
        QTest::newRow("Stop while paused") << "Mnu_Pause" << int(Qt::Key_MediaStop)
                                           << QStringList{"Mmc_1: close", "Mmc_2: close"} << "Stopped";
        QTest::newRow("1: channel 1 alone") << "Mnu_Play" << int(Qt::Key_1) << QStringList{"solo 1"} << "Playing";
        QTest::newRow("2 while stopped") << "" << int(Qt::Key_2) << QStringList{"solo 2"} << "Stopped";
        QTest::newRow("0: both again") << "Mnu_Pause" << int(Qt::Key_0) << QStringList{"solo 0"} << "Paused";
    }

    void keysFollowTheLooks()
    {
        QFETCH(QString, before);
        if (!before.isEmpty())
            w().findChild<QAction *>(before)->trigger();
        m_log->clear();
        QFETCH(int, key);
        QTest::sendKeyEvent(QTest::Click, m_window, Qt::Key(key), QString(), {}); // media keys have no text
        QTEST(*m_log, "words");
        QTEST(mprisPlaybackStatus(w().transportState()), "status");
    }

    void wheelStepsAChannelsVolume_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QList<int>>("deltas"); // 120 a notch, up is louder
        QTest::addColumn<QStringList>("volumes");
        QTest::newRow("up at full") << "Img_1" << QList<int>{120} << QStringList{"volume 1 1"};
        QTest::newRow("two notches down") << "Img_2" << QList<int>{-120, -120} << QStringList{"volume 2 0.95", "volume 2 0.9"};
        QTest::newRow("three in one event") << "Img_1" << QList<int>{-360} << QStringList{"volume 1 0.85"};
        QTest::newRow("half notches add up") << "Img_2" << QList<int>{-60, 20, -80} << QStringList{"volume 2 0.95"};
        QTest::newRow("no lower than 0") << "Img_1" << QList<int>{-2520, -120, 120}
                                         << QStringList{"volume 1 0", "volume 1 0", "volume 1 0.05"};
    }

    void wheelStepsAChannelsVolume()
    {
        QFETCH(QString, button);
        QFETCH(QList<int>, deltas);
        ui().Mnu_Play->trigger(); // the looks don't matter, nor does a Stop after
        m_log->clear();
        auto *target = w().findChild<PictureButton *>(button);
        for (int delta : deltas) {
            QWheelEvent wheel(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, delta), {}, {},
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(target, &wheel);
        }
        QTEST(*m_log, "volumes");
        QVERIFY(w().findChild<LevelDisplay *>()->isVisible());
        QCOMPARE(QApplication::activeWindow(), m_window.data());
        QCOMPARE(target->size(), StoredSize);
    }

    void drops_data()
    {
        QTest::addColumn<QStringList>("urls"); // %D is a folder holding a.wav and b.mp3
        QTest::addColumn<QString>("where");
        QTest::addColumn<QStringList>("files"); // what the channels are given, in order
        QTest::newRow("one on channel 1") << QStringList{"%D/a.wav"} << "Img_1" << QStringList{"Mmc_1 file: %D/a.wav"};
        QTest::newRow("one on channel 2") << QStringList{"%D/b.mp3"} << "Img_2" << QStringList{"Mmc_2 file: %D/b.mp3"};
        QTest::newRow("two on channel 2") << QStringList{"%D/b.mp3", "%D/a.wav"} << "Img_2"
                                          << QStringList{"Mmc_1 file: %D/b.mp3", "Mmc_2 file: %D/a.wav"};
        QTest::newRow("two on the window") << QStringList{"%D/a.wav", "%D/b.mp3"} << ""
                                           << QStringList{"Mmc_1 file: %D/a.wav", "Mmc_2 file: %D/b.mp3"};
        QTest::newRow("one on the window") << QStringList{"%D/a.wav"} << "" << QStringList();
        QTest::newRow("three") << QStringList{"%D/a.wav", "%D/b.mp3", "%D/a.wav"} << "Img_1" << QStringList();
        QTest::newRow("a folder") << QStringList{"%D"} << "Img_1" << QStringList();
        QTest::newRow("a remote file") << QStringList{"https://example.org/a.wav"} << "Img_2" << QStringList();
        QTest::newRow("text") << QStringList() << "Img_1" << QStringList();
    }

    void drops()
    {
        QFETCH(QStringList, urls);
        QFETCH(QString, where);
        QFETCH(QStringList, files);
        for (const char *name : {"a.wav", "b.mp3"})
            QVERIFY(QFile(m_dir.path() + "/" + name).open(QIODevice::WriteOnly));
        QMimeData data;
        data.setText("%D/a.wav");
        QList<QUrl> list;
        for (const QString &url : urls)
            list << QUrl::fromUserInput(QString(url).replace("%D", m_dir.path()));
        if (!list.isEmpty())
            data.setUrls(list);
        const QPoint p = toWindow(where.isEmpty() ? Background : inside(w().findChild<PictureButton *>(where)));
        QDragEnterEvent enter(p, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_window, &enter);
        QDragMoveEvent move(p, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_window, &move);
        QCOMPARE(move.isAccepted(), !files.isEmpty());
        QDropEvent drop(p, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_window, &drop);
        QCOMPARE(m_log->filter(" file: "), files.replaceInStrings("%D", m_dir.path()));
        QCOMPARE(flags(), files.isEmpty() ? AtStart : AfterStop);
    }

    void filesFromTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("names"); // %D is the working folder
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QStringList>("problems");
        QTest::newRow("none") << QStringList() << QStringList() << QStringList();
        QTest::newRow("two, one relative") << QStringList{"%D/a.wav", "sub/../b.mp3"}
                                           << QStringList{"%D/a.wav", "%D/b.mp3"} << QStringList();
        QTest::newRow("missing") << QStringList{"gone.wav"} << QStringList{"%D/gone.wav"}
                                 << QStringList{"%D/gone.wav is not a readable file; channel 1 takes it all the same"};
        QTest::newRow("a folder, empty") << QStringList{".", ""} << QStringList{"%D", ""}
                                         << QStringList{"%D is not a readable file; channel 1 takes it all the same",
                                                        "an empty file name leaves channel 2 as it is"};
        QTest::newRow("three") << QStringList{"b.mp3", "a.wav", "x y.mid"} << QStringList{"%D/b.mp3", "%D/a.wav"}
                               << QStringList{"only two files are used; ignored: x y.mid"};
        QTest::newRow("colon first, then empty names")
            << QStringList{":", "", "", ""} << QStringList{"%D/:", ""}
            << QStringList{"%D/: is not a readable file; channel 1 takes it all the same",
                           "an empty file name leaves channel 2 as it is", "only two files are used; ignored:  "};
        QTest::newRow("markers in the names") // both reported as given
            << QStringList{"-%2", "\uFFFD/:-", "/:@"} << QStringList{"%D/-%2", "%D/\uFFFD/:-"}
            << QStringList{"%D/-%2 is not a readable file; channel 1 takes it all the same",
                           "%D/\uFFFD/:- is not a readable file; channel 2 takes it all the same",
                           "only two files are used; ignored: /:@"};
        QTest::newRow("colon first names a file here") << QStringList{":a.wav"} << QStringList{"%D/:a.wav"}
                                                       << QStringList();
    }

    void filesFromTheCommandLine()
    {
        QFETCH(QStringList, names);
        for (const char *name : {"a.wav", "b.mp3", ":a.wav"})
            QVERIFY(QFile(m_dir.path() + "/" + name).open(QIODevice::WriteOnly));
        QFETCH(QStringList, paths);
        QFETCH(QStringList, problems);
        const StartFiles start = startFiles(names.replaceInStrings("%D", m_dir.path()), m_dir.path());
        QCOMPARE(start.paths, paths.replaceInStrings("%D", m_dir.path()));
        QCOMPARE(start.problems, problems.replaceInStrings("%D", m_dir.path()));
    }

    void outputsAndOffsetsFromTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("serverAnswers");
        QTest::addColumn<QStringList>("outputs"); // the channels', by name
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QList<qint64>>("offsets"); // the channels', in ms
        const QList<qint64> none{0, 0};
        const QString listed = "; the outputs are (name, then description):\n  tandra_null\tTandra_null_sink\n"
                               "  phones\tHeadphones & Mic\n  usb\tUSB Speakers\n  USB Speakers\tHDMI";
        QTest::newRow("none") << QStringList() << false << QStringList{"", ""} << "" << none;
        QTest::newRow("empty: the default") << QStringList{"--output1", ""} << false << QStringList{"", ""} << "" << none;
        QTest::newRow("by name") << QStringList{"--output2", "phones", "a.wav"} << true << QStringList{"", "phones"}
                                 << "" << none;
        QTest::newRow("by description") << QStringList{"--output1=Headphones & Mic", "--output2", "HDMI"} << true
                                        << QStringList{"phones", "USB Speakers"} << "" << none;
        QTest::newRow("a name before a description") << QStringList{"--output1", "USB Speakers"} << true
                                                     << QStringList{"USB Speakers", ""} << "" << none;
        QTest::newRow("one known, one by another case")
            << QStringList{"--output1", "usb", "--output2", "usb speakers"} << true << QStringList{"usb", ""}
            << "no output \"usb speakers\" for channel 2" + listed << none;
        QTest::newRow("no server") << QStringList{"--output1", "usb", "--output2", "x"} << false << QStringList{"", ""}
                                   << "no output \"usb\" for channel 1; no output \"x\" for channel 2; "
                                      "the sound server lists no outputs or does not answer" << none;
        QTest::newRow("offsets, a negative one after =") << QStringList{"--offset2=-1500", "--offset1", "+250"} << false
                                                        << QStringList{"", ""} << "" << QList<qint64>{250, -1500};
        QTest::newRow("a negative offset apart") << QStringList{"--offset2", "-86400000", "a.wav"} << false
                                                 << QStringList{"", ""} << "" << QList<qint64>{0, -86'400'000};
        QTest::newRow("offsets not taken") << QStringList{"--offset1", "12ms", "--offset2", "86400001"} << false
                                           << QStringList{"", ""}
                                           << "--offset1 \"12ms\" is not a whole number of milliseconds from "
                                              "-86400000 to 86400000; --offset2 \"86400001\" is not a whole number "
                                              "of milliseconds from -86400000 to 86400000"
                                           << none;
    }

    void outputsAndOffsetsFromTheCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, serverAnswers);
        QCommandLineParser parser;
        describeCommandLine(parser);
        QVERIFY(parser.parse(QStringList{"tandra"} + arguments));
        int asked = 0;
        const StartOutputs start = startOutputs(parser, [&] {
            ++asked;
            return serverAnswers ? Outputs : SoundServerOutputs();
        });
        QTEST(QStringList({start.channels[0].name, start.channels[1].name}), "outputs");
        const StartOffsets offsets = startOffsets(parser);
        QTEST(QList<qint64>({offsets.channels[0], offsets.channels[1]}), "offsets");
        QTEST(offsets.problem + start.problem, "problem"); // as the program tells them
        // Only when an output is named, and once for both.
        QCOMPARE(asked, start.channels[0].name.size() + start.channels[1].name.size() + start.problem.size() > 0);
    }

    void screenReaderSeesTheButtons_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("command"); // given first, from the menu
        QTest::addColumn<QAccessible::Role>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("unavailable");
        QTest::addColumn<QStringList>("pressed"); // what the press action does
        const QStringList opens{"Mmc_1: close", "Mmc_2: close"};
        const QStringList plays{"Mmc_1: open", "Mmc_1: play", "Mmc_2: open", "Mmc_2: play"};
        const QAccessible::Role B = QAccessible::Button;
        QTest::newRow("Img_1") << "Img_1" << "" << B << "إفتح 1" << false << opens + QStringList{"Cmo_1: show"};
        QTest::newRow("Img_2") << "Img_2" << "" << B << "إفتح 2" << false << opens + QStringList{"Cmo_2: show"};
        QTest::newRow("Play covered") << "Img_Play" << "" << B << "تشغيل" << true << QStringList();
        QTest::newRow("Play after Stop") << "Img_Play" << "Mnu_Stop" << B << "تشغيل" << false << plays;
        QTest::newRow("Play after Play") << "Img_Play" << "Mnu_Play" << B << "تشغيل" << true << QStringList();
        QTest::newRow("Pause after Play") << "Img_Pause" << "Mnu_Play" << B << "تأني" << false
                                          << QStringList{"Mmc_1: pause", "Mmc_2: pause"};
        QTest::newRow("Stop after Play") << "Img_Stop" << "Mnu_Play" << B << "توقف" << false << opens;
        QTest::newRow("overlay") << "Img_DPlay" << "" << QAccessible::Graphic << "" << false << QStringList();
        QTest::newRow("background") << "Frm_Background" << "" << QAccessible::Pane << "" << false << QStringList();
        QTest::newRow("window") << "Frm_Main" << "" << QAccessible::Window << "Tandra" << false << QStringList();
    }

    void screenReaderSeesTheButtons()
    {
        QFETCH(QString, control);
        QFETCH(QString, command);
        QFETCH(QAccessible::Role, role);
        QFETCH(bool, unavailable);
        QFETCH(QStringList, pressed);
        if (!command.isEmpty())
            w().findChild<QAction *>(command)->trigger();
        m_log->clear();
        QObject *object = control == "Frm_Main" ? m_window.data() : w().findChild<QWidget *>(control);
        QAccessibleInterface *seen = QAccessible::queryAccessibleInterface(object);
        QVERIFY(seen && seen->actionInterface());
        QCOMPARE(seen->role(), role);
        QTEST(seen->text(QAccessible::Name), "name");
        QCOMPARE(seen->state().disabled, unavailable);
        const QString press = QAccessibleActionInterface::pressAction();
        QCOMPARE(seen->actionInterface()->actionNames().contains(press), !pressed.isEmpty());
        seen->actionInterface()->doAction(press);
        QCOMPARE(*m_log, pressed);
    }

    void dialogHoldsBackEveryWayIn_data()
    {
        QTest::addColumn<QString>("dialog"); // the skin's opens over a playing transport, with no Stop first
        QTest::addColumn<QString>("way");
        for (const char *way : {"Play", "Pause", "PlayPause", "Stop", "OpenUri %F", "Quit", "Raise", "Volume=0.5",
                                "LoopStatus=Track", "press Img_Play", "Ctrl+Z", "media Play key", "drop"})
            QTest::addRow("Cmo_1, %s", way) << "Cmo_1" << way;
        for (const char *way : {"Seek 5000000", "SetPosition 1000000", "Stop", "press Img_Pause"})
            QTest::addRow("Cmo_Img, %s", way) << "Cmo_Img" << way;
    }

    void dialogHoldsBackEveryWayIn()
    {
        QFETCH(QString, dialog);
        QFETCH(QString, way);
        cleanup();
        m_realDialogs = true;
        init();
        const QString file = m_dir.path() + "/a.wav";
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        w().openFile(1, file);
        if (dialog == "Cmo_Img")
            ui().Mnu_Play->trigger();
        const Flags before = flags();
        m_log->clear();
        m_announced->clear();
        bool could = true, stillOpen = false, inFront = false;
        QTimer::singleShot(0, this, [&] {
            QFileDialog *shown = nullptr;
            QTRY_VERIFY((shown = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())));
            could = root()->property("CanQuit").toBool();
            for (const char *name : {"CanPlay", "CanPause", "CanSeek", "CanControl"})
                could |= player()->property(name).toBool();
            w().activateWindow();
            if (way == "Ctrl+Z" || way == "media Play key")
                QTest::keyClick(m_window->windowHandle(), way == "Ctrl+Z" ? Qt::Key_Z : Qt::Key_MediaPlay,
                                way == "Ctrl+Z" ? Qt::ControlModifier : Qt::NoModifier);
            else if (way.startsWith("press "))
                QAccessible::queryAccessibleInterface(w().findChild<QWidget *>(way.mid(6)))
                    ->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            else if (way == "drop") {
                QMimeData data;
                data.setUrls({QUrl::fromLocalFile(file)});
                QDropEvent drop(toWindow(inside(ui().Img_1)), Qt::CopyAction, &data, Qt::LeftButton, {});
                QApplication::sendEvent(m_window, &drop);
            } else
                mprisCall(QString(way).replace("%F", QUrl::fromLocalFile(file).toString()));
            inFront = way == "Raise" && QTest::qWaitFor([shown] { return QApplication::activeWindow() == shown; });
            stillOpen = shown->isVisible();
            shown->reject();
        });
        if (dialog == "Cmo_1")
            w().Img_1_Click();
        else
            w().Mnu_ChoseSkin_Click();
        QCOMPARE(*m_log, dialog == "Cmo_1" ? (QStringList{"Mmc_1: close", "Mmc_2: close"}) : QStringList());
        QCOMPARE(flags(), dialog == "Cmo_1" ? AfterStop : before);
        QVERIFY(stillOpen && !could);
        QVERIFY(inFront || way != "Raise");
        // Told as the dialog opened and again as it closed.
        QCOMPARE(announced("CanPlay"), (QVariantList{false, true}));
        QCOMPARE(announced("CanQuit"), (QVariantList{false, true}));
    }

    void channelMenu_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<bool>("byKey"); // the menu key while the button has the focus
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("positionMs");
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<qint64>("offsetMs");
        QTest::addColumn<QString>("summary"); // as the menu shows it and a screen reader hears it
        const qint64 none = 0;
        QTest::newRow("no file") << 0 << false << "" << qint64(-1) << qint64(-1) << none << "لا يوجد ملف";
        QTest::newRow("not open") << 1 << true << "/music/b.mp3" << qint64(-1) << qint64(-1) << none << "b.mp3";
        QTest::newRow("open") << 0 << false << "/music/rock & roll.wav" << qint64(65'999) << qint64(200'000) << none
                              << "rock & roll.wav  1:05 / 3:20";
        QTest::newRow("length not known yet") << 1 << true << "/x/long.mid" << qint64(3'600'000) << qint64(-1) << none
                                              << "long.mid  60:00 / -:--";
        QTest::newRow("starting later") << 1 << false << "/music/b.mp3" << qint64(0) << qint64(200'000) << qint64(250)
                                        << "b.mp3 (+250 ms)  0:00 / 3:20";
        QTest::newRow("start skipped") << 0 << true << "/music/a.wav" << qint64(-1) << qint64(-1) << qint64(-1500)
                                       << "a.wav (\u22121500 ms)";
    }

    void channelMenu()
    {
        QFETCH(int, channel);
        QFETCH(QString, file);
        QFETCH(QString, summary);
        PictureButton *button = channel == 0 ? ui().Img_1 : ui().Img_2;
        const SkinButton skin = channel == 0 ? SkinButton::Img_1 : SkinButton::Img_2;
        if (!file.isEmpty())
            w().openFile(channel, file);
        QFETCH(qint64, positionMs);
        QFETCH(qint64, durationMs);
        m_playback->position[channel] = positionMs;
        m_playback->duration[channel] = durationMs;
        QFETCH(qint64, offsetMs);
        m_playback->setOffset(channel, offsetMs);
        m_log->clear();
        QAccessibleInterface *seen = QAccessible::queryAccessibleInterface(button);
        QCOMPARE(seen->text(QAccessible::Description), summary);
        QCOMPARE(seen->text(QAccessible::Name), channel == 0 ? QStringLiteral("إفتح 1") : QStringLiteral("إفتح 2"));

        QFETCH(bool, byKey);
        if (byKey) {
            button->setFocus(Qt::TabFocusReason);
            QContextMenuEvent key(QContextMenuEvent::Keyboard, {5, 5}, button->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(QApplication::focusWidget(), &key);
        } else {
            moveTo(inside(button));
            press(inside(button), Qt::RightButton);
            QCOMPARE(shown(skin), skinSize(skin, ButtonVisualState::Pressed));
        }
        ChannelMenu *menu = w().channelMenu();
        QVERIFY(menu->isVisible() && menu->layoutDirection() == Qt::RightToLeft);
        auto item = [menu](const char *name) { return menu->findChild<QAction *>(name); };
        const auto firstLine = [&] {
            static const QRegularExpression isolates("[\\x{2066}-\\x{2069}]");
            return item("Mnu_ChannelInfo")->text().remove(isolates).replace("&&", "&");
        };
        QCOMPARE(firstLine(), summary);
        QVERIFY(!item("Mnu_ChannelInfo")->isEnabled());
        m_playback->position[channel] = 125'000; // kept current while open
        m_playback->duration[channel] = 200'000;
        QTRY_VERIFY(file.isEmpty() || firstLine().endsWith("  2:05 / 3:20"));

        item("Mnu_ChannelLoop")->trigger();
        item("Mnu_ChannelMute")->trigger();
        item("Mnu_ChannelSolo")->trigger();
        item("Mnu_ChannelMatchLoudness")->trigger();
        menu->hide();
        if (!byKey)
            release(inside(button), Qt::RightButton);
        const QString n = QString::number(channel + 1);
        // Matching is both channels' at once.
        QCOMPARE(*m_log, (QStringList{"loop " + n + " 1", "mute " + n + " 1", "solo " + n, "match loudness 1"})); // and no click
        // Heard alone: the other button is dimmed, and both say so.
        PictureButton *other = channel == 0 ? ui().Img_2 : ui().Img_1;
        QVERIFY(other->graphicsEffect() && !button->graphicsEffect());
        QVERIFY(seen->text(QAccessible::Description).endsWith("، وحدها مسموعة"));
        QVERIFY(QAccessible::queryAccessibleInterface(other)->text(QAccessible::Description).endsWith("، صامتة للمقارنة"));
        // All hold across Stop, Play and a new file; Open is the left click.
        ui().Mnu_Stop->trigger();
        ui().Mnu_Play->trigger();
        w().openFile(channel, "/music/c.wav");
        menu->popupFor(channel, {});
        QVERIFY(item("Mnu_ChannelLoop")->isChecked() && item("Mnu_ChannelMute")->isChecked()
                && item("Mnu_ChannelSolo")->isChecked() && item("Mnu_ChannelMatchLoudness")->isChecked());
        item("Mnu_ChannelSolo")->trigger(); // both heard again
        QVERIFY(!other->graphicsEffect() && !seen->text(QAccessible::Description).contains("مسموعة"));
        m_log->clear();
        item("Mnu_ChannelOpen")->trigger();
        QCOMPARE(*m_log, (QStringList{"Mmc_1: close", "Mmc_2: close", "Cmo_" + n + ": show"}));
    }

    void offsetBox_data()
    {
        QTest::addColumn<qint64>("opened"); // channel 2's offset before
        QTest::addColumn<QStringList>("keys"); // key names, or text typed
        QTest::addColumn<QStringList>("applied"); // as each was heard
        QTest::addColumn<QString>("firstLine"); // the menu's afterwards
        QTest::newRow("steps, then Esc") << qint64(0) << QStringList{"Up", "Up", "PageDown", "Escape"}
                                         << QStringList{"offset 2 10", "offset 2 20", "offset 2 -980", "offset 2 0"}
                                         << "b.mp3";
        QTest::newRow("a second up, kept") << qint64(-250) << QStringList{"PageUp", "Return"}
                                           << QStringList{"offset 2 750"} << "b.mp3 (+750 ms)";
        QTest::newRow("typed, applied once on Enter") << qint64(0) << QStringList{"-1500", "Return"}
                                                      << QStringList{"offset 2 -1500"} << "b.mp3 (\u22121500 ms)";
        QTest::newRow("typed, then Esc") << qint64(40) << QStringList{"900", "Escape"} << QStringList() << "b.mp3 (+40 ms)";
    }

    void offsetBox()
    {
        QFETCH(qint64, opened);
        QFETCH(QStringList, keys);
        w().openFile(1, "/music/b.mp3");
        ui().Mnu_Play->trigger();
        m_playback->setOffset(1, opened);
        m_log->clear();
        m_announced->clear();
        ChannelMenu *menu = w().channelMenu();
        bool held = false;
        QTimer::singleShot(0, this, [&] {
            QWidget *box = nullptr;
            const auto closeAnyway = qScopeGuard([] {
                if (QWidget *left = QApplication::activeModalWidget())
                    left->close();
            });
            QTRY_VERIFY((box = QApplication::activeModalWidget()));
            held = w().dialogOpen();
            const std::map<QString, Qt::Key> named{{"Up", Qt::Key_Up}, {"PageUp", Qt::Key_PageUp},
                                                   {"PageDown", Qt::Key_PageDown}, {"Return", Qt::Key_Return},
                                                   {"Escape", Qt::Key_Escape}};
            for (const QString &key : keys)
                if (named.count(key))
                    QTest::keyClick(box->focusWidget(), named.at(key));
                else
                    QTest::keyClicks(box->focusWidget(), key);
            QTRY_VERIFY(!box->isVisible());
        });
        menu->popupFor(1, ui().Img_2->mapToGlobal(QPoint(5, 5)));
        menu->hide(); // as a click on the item does
        menu->findChild<QAction *>("Mnu_ChannelOffset")->trigger();
        QTEST(*m_log, "applied");
        // The window was held back as by an open-file dialog, and is no longer.
        QVERIFY(held && !w().dialogOpen());
        QCOMPARE(announced("CanPlay"), (QVariantList{false, true}));
        menu->popupFor(1, {});
        static const QRegularExpression timesAndIsolates("[\\x{2066}-\\x{2069}]|  .*");
        QTEST(menu->findChild<QAction *>("Mnu_ChannelInfo")->text().remove(timesAndIsolates), "firstLine");
    }

    void channelOutputMenu_data()
    {
        QTest::addColumn<QString>("before"); // the channel's output before the menu opens, by name
        QTest::addColumn<int>("checked"); // the item as the submenu opens, 0 for "with the other channel"
        QTest::addColumn<int>("choose"); // then chosen by the arrow keys
        QTest::addColumn<QString>("output"); // the name the engine is given
        QTest::addColumn<QString>("described"); // what the button's description says after "no file"
        QTest::newRow("the default, then an output") << "" << 0 << 3 << "usb" << "، المخرج: USB Speakers";
        QTest::newRow("an output, then the default") << "usb" << 3 << 0 << "" << "";
        QTest::newRow("an & in a description") << "" << 0 << 2 << "phones" << "، المخرج: Headphones & Mic";
        QTest::newRow("a gone output") << "gone" << 0 << 1 << "tandra_null" << "، المخرج: Tandra_null_sink";
    }

    void channelOutputMenu()
    {
        QFETCH(QString, before);
        if (!before.isEmpty())
            w().setChannelOutput(1, findOutput(Outputs, before).value_or(SoundServerOutput{before, "Gone"}));
        m_log->clear();
        ChannelMenu *menu = w().channelMenu();
        auto *submenu = menu->findChild<QMenu *>("Mnu_ChannelOutput");
        const auto open = [&] {
            menu->popupFor(1, ui().Img_2->mapToGlobal(QPoint(5, 5)));
            QTRY_VERIFY(menu->isVisible());
            menu->setActiveAction(submenu->menuAction());
            QTest::keyClick(menu, Qt::Key_Left); // into a right-to-left menu
            QTRY_VERIFY(submenu->isVisible());
        };
        open();
        const QList<QAction *> items = menu->actions();
        QCOMPARE(items.indexOf(submenu->menuAction()),
                 items.indexOf(menu->findChild<QAction *>("Mnu_ChannelMute")) + 1);
        QCOMPARE(submenu->title(), QStringLiteral("مخرج الصوت"));
        QCOMPARE(submenu->layoutDirection(), Qt::RightToLeft);
        const auto shown = [&] {
            QStringList texts;
            for (QAction *item : submenu->actions())
                texts << (item->isChecked() ? "* " : "") + item->text();
            return texts;
        };
        QStringList listed{"مع القناة الأخرى", "Tandra_null_sink", "Headphones && Mic", "USB Speakers",
                           "HDMI"};
        QFETCH(int, checked);
        QStringList marked = listed;
        marked[checked].prepend("* ");
        QCOMPARE(shown(), marked);
        QFETCH(int, choose);
        for (int i = 0; i < choose; ++i)
            QTest::keyClick(submenu, Qt::Key_Down);
        QTest::keyClick(submenu, Qt::Key_Return);
        QVERIFY(!menu->isVisible() && !submenu->isVisible());
        QFETCH(QString, output);
        QCOMPARE(*m_log, QStringList{"output 2: " + output});
        QFETCH(QString, described);
        QCOMPARE(QAccessible::queryAccessibleInterface(ui().Img_2)->text(QAccessible::Description),
                 "لا يوجد ملف" + described);

        // Asked anew: an output plugged in since is there, the choice held.
        m_outputs << SoundServerOutput{"dock", "Dock"};
        open();
        listed[choose].prepend("* ");
        QCOMPARE(shown(), listed << "Dock");
        menu->hide();

        // The engine gives a gone output back by itself: the button says so.
        m_playback->setOutput(1, {});
        m_playback->outputGivenBack(1);
        QCOMPARE(QAccessible::queryAccessibleInterface(ui().Img_2)->text(QAccessible::Description), "لا يوجد ملف");
    }

    void mpris_data()
    {
        QTest::addColumn<QStringList>("before"); // "file|volume|loop|length|offset <channel> <value>", "play"
        QTest::addColumn<QString>("call");       // as mprisCall takes it; %D is a folder holding a.wav, b.mp3
        QTest::addColumn<QStringList>("calls");  // what the engine and channels are told by it
        QTest::addColumn<QString>("read");       // "<property>[/<key>]=<value>" afterwards
        QTest::addColumn<bool>("changed");       // and so announced
        const QStringList none;
        QTest::newRow("Track loops both") << none << "LoopStatus=Track" << QStringList{"loop 1 1", "loop 2 1"}
                                          << "LoopStatus=Track" << true;
        QTest::newRow("Playlist too") << QStringList{"loop 2 1"} << "LoopStatus=Playlist"
                                      << QStringList{"loop 1 1", "loop 2 1"} << "LoopStatus=Track" << true;
        QTest::newRow("one looping is None") << QStringList{"loop 1 1"} << "" << none << "LoopStatus=None" << false;
        QTest::newRow("None loops neither") << QStringList{"loop 1 1", "loop 2 1"} << "LoopStatus=None"
                                            << QStringList{"loop 1 0", "loop 2 0"} << "LoopStatus=None" << true;
        QTest::newRow("the louder, ratio kept") << QStringList{"volume 1 0.8", "volume 2 0.4"} << "Volume=0.5"
                                                << QStringList{"volume 1 0.5", "volume 2 0.25"} << "Volume=0.5" << true;
        QTest::newRow("below 0") << QStringList{"volume 1 0.5", "volume 2 0.2"} << "Volume=-1"
                                 << QStringList{"volume 1 0", "volume 2 0"} << "Volume=0" << true;
        QTest::newRow("from silence") << QStringList{"volume 1 0", "volume 2 0"} << "Volume=3"
                                      << QStringList{"volume 1 1", "volume 2 1"} << "Volume=1" << true;
        QTest::newRow("not a number") << QStringList{"volume 2 0.3"} << "Volume=nan" << none << "Volume=1" << false;
        QTest::newRow("channel 2's url") << QStringList{"file 2 %D/b.mp3"} << "" << none
                                         << "Metadata/xesam:url=file://%D/b.mp3" << false;
        QTest::newRow("the longer length") << QStringList{"file 1 %D/a.wav", "file 2 %D/b.mp3", "length 1 3000", "length 2 5500",
                                                           "play"}
                                           << "" << none << "Metadata/mpris:length=5500000" << true;
        QTest::newRow("the later end, once offset") << QStringList{"file 1 %D/a.wav", "file 2 %D/b.mp3", "length 1 3000",
                                                                     "length 2 5500", "play", "offset 1 4000"}
                                                    << "" << none << "Metadata/mpris:length=7000000" << true;
        QTest::newRow("open into 1") << none << "OpenUri file://%D/a.wav" << QStringList{"Mmc_1 file: %D/a.wav"}
                                     << "Metadata/xesam:url=file://%D/a.wav" << true;
        QTest::newRow("open into 2") << QStringList{"file 1 %D/a.wav"} << "OpenUri file://%D/b.mp3"
                                     << QStringList{"Mmc_2 file: %D/b.mp3"} << "Metadata/xesam:url=file://%D/a.wav"
                                     << true;
        QTest::newRow("open with both full") << QStringList{"file 1 %D/a.wav", "file 2 %D/a.wav"}
                                             << "OpenUri file://%D/b.mp3" << QStringList{"Mmc_1 file: %D/b.mp3"}
                                             << "Metadata/xesam:url=file://%D/b.mp3" << true;
        QTest::newRow("open over http") << none << "OpenUri http://example.org/a.wav" << none
                                        << "Metadata/xesam:url=" << false;
        QTest::newRow("open a missing file") << none << "OpenUri file://%D/gone.wav" << none
                                             << "Metadata/xesam:url=" << false;
        // Saturated far past any file, where the engine's nanoseconds still fit.
        QTest::newRow("Seek to the end of time") << QStringList{"play"} << "Seek 9223372036854775807"
                                                 << QStringList{"seek by 2305843009213"} << "CanSeek=true" << false;
        QTest::newRow("Seek before the start") << QStringList{"play"} << "Seek -9223372036854775808"
                                               << QStringList{"seek by -2305843009213"} << "CanSeek=true" << false;
        QTest::newRow("SetPosition at the end of time") << QStringList{"play"} << "SetPosition 9223372036854775807"
                                                        << QStringList{"seek to 2305843009213"} << "CanSeek=true" << false;
    }

    void mpris()
    {
        QFETCH(QStringList, before);
        const QString folder = m_dir.path();
        for (const char *name : {"a.wav", "b.mp3"})
            QVERIFY(QFile(folder + "/" + name).open(QIODevice::WriteOnly));
        for (const QString &step : before.replaceInStrings("%D", folder)) {
            const QStringList words = step.split(' ');
            const int channel = words.value(1).toInt() - 1;
            if (words[0] == "file")
                w().openFile(channel, words[2]);
            else if (words[0] == "volume")
                w().setChannelVolume(channel, words[2].toDouble());
            else if (words[0] == "loop")
                w().setChannelLooping(channel, words[2] == "1");
            else if (words[0] == "length")
                m_playback->duration[channel] = words[2].toLongLong();
            else if (words[0] == "offset")
                w().setChannelOffset(channel, words[2].toLongLong());
            else
                ui().Mnu_Play->trigger();
        }
        m_log->clear();
        m_announced->clear();
        QFETCH(QString, call);
        mprisCall(call.replace("%D", folder));
        QFETCH(QStringList, calls);
        QCOMPARE(m_log->filter(QRegularExpression("^(volume|loop|seek|Mmc_. file)")), calls.replaceInStrings("%D", folder));
        QFETCH(QString, read);
        const QString property = read.section('=', 0, 0).section('/', 0, 0);
        const QString key = read.section('=', 0, 0).section('/', 1);
        const auto value = [&](const QVariant &v) { return (key.isEmpty() ? v : v.toMap().value(key)).toString(); };
        QTRY_COMPARE(value(player()->property(qPrintable(property))), read.section('=', 1).replace("%D", folder));
        QFETCH(bool, changed);
        QCOMPARE(announced(property).isEmpty(), !changed);
        QVERIFY(!changed || value(announced(property).last()) == value(player()->property(qPrintable(property))));
    }

    void mprisOffersWhatTheDesktopEntryDoes()
    {
        QFile entry(qEnvironmentVariable("TANDRA_TEST_SOURCE_DIR") + "/app/org.example.tandra.desktop");
        QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString types = QString::fromUtf8(entry.readAll()).section("\nMimeType=", 1).section('\n', 0, 0);
        QCOMPARE(root()->property("SupportedMimeTypes").toStringList(), types.split(';', Qt::SkipEmptyParts));
        QCOMPARE(root()->property("SupportedUriSchemes").toStringList(), QStringList{"file"});
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
        writeSkin(m_dir.path() + "/Blue", 5, true);
        const int grow = w().devicePixelRatio() > 1 ? 6 : 5; // the double-size pictures on a dense screen
        moveTo(inside(ui().Img_1));
        m_dialogs[2]->answer(QDir::toNativeSeparators(m_dir.path() + "/Blue/blue.skn"));
        w().Mnu_ChoseSkin_Click();
        QCOMPARE(w().SkinFolder, QDir::toNativeSeparators(m_dir.path() + "/Blue"));
        QCOMPARE(shown(S::Img_1), skinSize(S::Img_1, V::Hover)); // nothing reloaded yet

        moveTo(Background);
        for (S b : {S::Img_Play, S::Img_Pause, S::Img_Stop, S::Img_1, S::Img_2})
            QCOMPARE(shown(b), skinSize(b, V::Normal, grow));
        moveTo(inside(ui().Img_1));
        QCOMPARE(shown(S::Img_1), skinSize(S::Img_1, V::Hover, grow));

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
