// Tens of thousands of seeded random mouse events, menu commands and shortcut
// keys against the main window, checked after every event against a plain
// model of the looks, the pictures and the words each channel received.
#include "ButtonImageSet.h"
#include "Fakes.h"
#include "Frm_Main.h"
#include "ui_Frm_Main.h"

#include <QtTest>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

constexpr int Buttons = 5; // SkinButton order: Img_1, Img_2, Img_Stop, Img_Pause, Img_Play

// Every control that can take the mouse, from the top of the stacking order.
enum class Control { Background, DPause, DStop, DPlay, Img_1, Img_2, Img_Stop, Img_Pause, Img_Play };

struct Place
{
    Control control;
    QRect rect;
};

const Place Places[] = {
    {Control::DPause, {121, 92, 50, 48}}, {Control::DStop, {180, 94, 50, 48}},
    {Control::DPlay, {60, 83, 50, 48}},   {Control::Img_1, {304, 69, 50, 48}},
    {Control::Img_2, {304, 118, 50, 48}}, {Control::Img_Stop, {180, 94, 50, 48}},
    {Control::Img_Pause, {121, 92, 50, 48}}, {Control::Img_Play, {60, 83, 50, 48}},
};

std::optional<SkinButton> skinButton(Control c)
{
    switch (c) {
    case Control::Img_1: return SkinButton::Img_1;
    case Control::Img_2: return SkinButton::Img_2;
    case Control::Img_Stop: return SkinButton::Img_Stop;
    case Control::Img_Pause: return SkinButton::Img_Pause;
    case Control::Img_Play: return SkinButton::Img_Play;
    default: return std::nullopt;
    }
}

QRect rectOf(Control c)
{
    for (const Place &p : Places)
        if (p.control == c)
            return p.rect;
    return {};
}

enum class Command { Open1, Open2, Play, Pause, Stop, Refresh, ChoseSkin };
const int Commands = 7;

struct Event
{
    enum Kind { Move, Press, Release, Menu, Key } kind;
    QPoint point;
    Qt::MouseButton button = Qt::NoButton;
    Command command = Command::Play;
    QString answer; // what a dialog shown by this event answers; empty cancels

    QString describe() const
    {
        static const char *commands[] = {"Open1", "Open2", "Play", "Pause", "Stop", "Refresh", "ChoseSkin"};
        const QString where = QStringLiteral("(%1,%2)").arg(point.x()).arg(point.y());
        const QString dialog = answer.isEmpty() ? QString() : QStringLiteral(" answering %1").arg(answer);
        switch (kind) {
        case Move: return "move " + where;
        case Press: return QStringLiteral("press %1 ").arg(int(button)) + where + dialog;
        case Release: return QStringLiteral("release %1 ").arg(int(button)) + where + dialog;
        case Menu: return QStringLiteral("menu %1").arg(commands[int(command)]) + dialog;
        case Key: return QStringLiteral("key of %1").arg(commands[int(command)]) + dialog;
        }
        return {};
    }
};

// The plain model: what the window should show and what the channels should
// have heard, from the tables alone.
struct Model
{
    // Play, Pause, Stop: Enabled; then their overlays: Visible.
    std::array<bool, 6> flags{true, true, true, true, true, true};
    std::array<QString, Buttons> pictures{"stored", "stored", "stored", "stored", "stored"};
    QStringList words;
    std::optional<Control> grab;
    std::optional<QPoint> pointer; // where the pointer last was
    bool menuOpened = false;       // by the last event

    // A press or release somewhere else comes after a move there, as the
    // pointer has to get there first.
    void reach(QPoint p)
    {
        if (pointer != p)
            move(p);
    }

    void show(SkinButton b, ButtonVisualState s)
    {
        pictures[size_t(b)] = QString::fromLatin1(buttonImageName(b, s).data());
    }
    bool overlayVisible(Control c) const
    {
        return c == Control::DPlay ? flags[3] : c == Control::DPause ? flags[4] : c == Control::DStop ? flags[5] : true;
    }
    Control hit(QPoint p) const
    {
        for (const Place &place : Places)
            if (place.rect.contains(p) && overlayVisible(place.control))
                return place.control;
        return Control::Background;
    }

    void stop()
    {
        words << "Mmc_1: close" << "Mmc_2: close";
        flags = {true, false, false, false, true, true};
    }
    void pause()
    {
        flags = {true, false, true, false, true, false};
        words << "Mmc_1: pause" << "Mmc_2: pause";
    }
    void play()
    {
        flags = {false, true, true, true, false, false};
        words << "Mmc_1: open" << "Mmc_1: play" << "Mmc_2: open" << "Mmc_2: play";
    }
    void channel(int index, const QString &answer)
    {
        stop();
        words << QStringLiteral("Cmo_%1: show").arg(index + 1);
        if (!answer.isEmpty())
            words << QStringLiteral("Mmc_%1 file: %2").arg(index + 1).arg(answer);
        show(index == 0 ? SkinButton::Img_1 : SkinButton::Img_2, ButtonVisualState::Normal);
    }
    void click(Control c, const QString &answer)
    {
        switch (c) {
        case Control::Img_1: channel(0, answer); break;
        case Control::Img_2: channel(1, answer); break;
        case Control::Img_Play: play(); break;
        case Control::Img_Pause: pause(); break;
        case Control::Img_Stop: stop(); break;
        default: break;
        }
    }
    void command(Command c, const QString &answer)
    {
        switch (c) {
        case Command::Open1: channel(0, answer); break;
        case Command::Open2: channel(1, answer); break;
        case Command::Play: play(); break;
        case Command::Pause: pause(); break;
        case Command::Stop: stop(); break;
        case Command::Refresh: break;   // no handler
        case Command::ChoseSkin: break; // switched off
        }
    }
    void move(QPoint p)
    {
        pointer = p;
        const Control target = grab.value_or(hit(p));
        if (target == Control::Background) {
            for (SkinButton b : {SkinButton::Img_Play, SkinButton::Img_Pause, SkinButton::Img_Stop, SkinButton::Img_1,
                                 SkinButton::Img_2})
                show(b, ButtonVisualState::Normal);
        } else if (auto b = skinButton(target)) {
            show(*b, ButtonVisualState::Hover);
            if (*b == SkinButton::Img_1)
                show(SkinButton::Img_2, ButtonVisualState::Normal);
            if (*b == SkinButton::Img_2)
                show(SkinButton::Img_1, ButtonVisualState::Normal);
        }
    }
    void press(QPoint p, Qt::MouseButton button)
    {
        reach(p);
        grab = hit(p);
        if (auto b = skinButton(*grab))
            show(*b, ButtonVisualState::Pressed);
        // The right button on a channel button opens its menu; the test
        // closes it at once, and the button keeps the mouse until released.
        menuOpened = button == Qt::RightButton && (grab == Control::Img_1 || grab == Control::Img_2);
    }
    void release(QPoint p, Qt::MouseButton button, const QString &answer)
    {
        reach(p);
        const Control target = grab.value_or(Control::Background);
        grab.reset();
        if (button == Qt::LeftButton && rectOf(target).contains(p))
            click(target, answer);
    }
};

// A dialog whose answer is set before each event.
class EventDialog : public OpenFileDialog
{
public:
    EventDialog(QString name, EventLog log) : m_name(std::move(name)), m_log(std::move(log)) {}
    void showOpen() override
    {
        m_log->append(m_name + ": show");
        m_fileName = next;
    }
    QString fileName() const override { return m_fileName; }
    QString next;

private:
    QString m_name;
    EventLog m_log;
    QString m_fileName;
};

std::vector<Event> generate(quint32 seed, int count)
{
    QRandomGenerator random(seed);
    std::vector<Event> events;
    Qt::MouseButton held = Qt::NoButton;
    auto anyPoint = [&] {
        // Mostly over the controls, where the interesting things are.
        if (random.bounded(4) == 0)
            return QPoint(random.bounded(375), random.bounded(187));
        const QRect r = Places[random.bounded(int(std::size(Places)))].rect.adjusted(-3, -3, 3, 3);
        return QPoint(r.left() + random.bounded(r.width()), r.top() + random.bounded(r.height()));
    };
    for (int i = 0; i < count; ++i) {
        Event e;
        e.answer = random.bounded(3) == 0 ? QString() : QStringLiteral("/media/file%1.mp3").arg(random.bounded(100));
        const int roll = random.bounded(100);
        e.point = anyPoint();
        if (held != Qt::NoButton) {
            if (roll < 30) {
                e.kind = Event::Release;
                e.button = held;
                held = Qt::NoButton;
            } else {
                e.kind = Event::Move;
            }
        } else if (roll < 55) {
            e.kind = Event::Move;
        } else if (roll < 80) {
            e.kind = Event::Press;
            e.button = random.bounded(5) == 0 ? Qt::RightButton : Qt::LeftButton;
            held = e.button;
        } else {
            e.kind = roll < 90 ? Event::Menu : Event::Key;
            e.command = Command(random.bounded(Commands));
        }
        events.push_back(e);
    }
    return events;
}

void writeSkin(const QString &folder)
{
    QDir().mkpath(folder);
    int i = 0;
    for (const auto &row : ButtonImageSet)
        for (std::string_view name : row) {
            QImage image(50, 48, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(i++ * 24, 255, 255));
            image.save(folder + "/" + QString::fromLatin1(name.data()), "JPEG", 95);
        }
}

// Which picture a button shows: the skin file whose colour it has.
QString pictureName(const PictureButton *button)
{
    const QColor c = button->picture().toImage().pixelColor(25, 24);
    int i = 0;
    for (const auto &row : ButtonImageSet)
        for (std::string_view name : row) {
            const QColor expected = QColor::fromHsv(i++ * 24, 255, 255);
            if (std::abs(c.red() - expected.red()) + std::abs(c.green() - expected.green()) +
                    std::abs(c.blue() - expected.blue()) < 40)
                return QString::fromLatin1(name.data());
        }
    return "stored";
}

// Runs the events in a fresh window; the index of the first event after
// which window and model differ, with the difference, or -1.
std::pair<int, QString> replay(const QString &programFolder, const std::vector<Event> &events)
{
    EventLog log = makeLog();
    std::array<EventDialog *, 2> dialogs{};
    int dialogCount = 0;
    Frm_MainComponents parts;
    parts.programFolder = [&] { return programFolder; };
    parts.makePlayback = [&] { return std::make_unique<RecordingPlayback>(log); };
    parts.makeDialog = [&](const OpenFileDialogSettings &, QWidget *) {
        auto dialog = std::make_unique<EventDialog>(QStringLiteral("Cmo_%1").arg(dialogCount + 1), log);
        if (dialogCount < 2)
            dialogs[size_t(dialogCount)] = dialog.get();
        ++dialogCount;
        return dialog;
    };
    Frm_Main window(parts);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return {0, "window did not become active"};
    QWindow *handle = window.windowHandle();
    const auto &ui = window.controls();
    auto toWindow = [&](QPoint p) { return ui.Frm_Background->mapTo(&window, p); };
    const std::pair<Command, QAction *> actions[] = {
        {Command::Open1, ui.Mnu_Open1}, {Command::Open2, ui.Mnu_Open2}, {Command::Play, ui.Mnu_Play},
        {Command::Pause, ui.Mnu_Pause}, {Command::Stop, ui.Mnu_Stop},   {Command::Refresh, ui.Mnu_Refresh},
        {Command::ChoseSkin, ui.Mnu_ChoseSkin}};

    Model model;
    Qt::MouseButton held = Qt::NoButton;
    // QTest remembers a held button across windows: let go of it at the end.
    const auto letGo = qScopeGuard([&] {
        if (held != Qt::NoButton)
            QTest::mouseRelease(handle, held, {}, toWindow(model.pointer.value_or(QPoint())));
    });
    for (size_t i = 0; i < events.size(); ++i) {
        const Event &e = events[i];
        for (EventDialog *d : dialogs)
            d->next = e.answer;
        switch (e.kind) {
        case Event::Move:
            QTest::mouseMove(handle, toWindow(e.point));
            model.move(e.point);
            break;
        case Event::Press:
            QTest::mousePress(handle, e.button, {}, toWindow(e.point));
            held = e.button;
            model.press(e.point, e.button);
            break;
        case Event::Release:
            QTest::mouseRelease(handle, e.button, {}, toWindow(e.point));
            held = Qt::NoButton;
            model.release(e.point, e.button, e.answer);
            break;
        case Event::Menu:
            for (const auto &[command, action] : actions)
                if (command == e.command)
                    action->trigger();
            model.command(e.command, e.answer);
            break;
        case Event::Key:
            for (const auto &[command, action] : actions)
                if (command == e.command) {
                    const QKeyCombination key = action->shortcut()[0];
                    QTest::keyClick(&window, key.key(), key.keyboardModifiers());
                }
            model.command(e.command, e.answer);
            break;
        }

        QWidget *menu = QApplication::activePopupWidget();
        if (menu)
            menu->close();
        if ((menu != nullptr) != std::exchange(model.menuOpened, false))
            return {int(i), QStringLiteral("channel menu %1").arg(menu ? "opened" : "not opened")};
        const std::array<bool, 6> flags{ui.Img_Play->isEnabled(),  ui.Img_Pause->isEnabled(),
                                        ui.Img_Stop->isEnabled(),  ui.Img_DPlay->isVisible(),
                                        ui.Img_DPause->isVisible(), ui.Img_DStop->isVisible()};
        if (flags != model.flags)
            return {int(i), "transport looks differ"};
        for (int b = 0; b < Buttons; ++b) {
            const QString shown = pictureName(window.button(SkinButton(b)));
            if (shown != model.pictures[size_t(b)])
                return {int(i), QStringLiteral("button %1 shows %2, expected %3").arg(b).arg(shown, model.pictures[size_t(b)])};
        }
        if (*log != model.words)
            return {int(i), QStringLiteral("words differ: got ...%1, expected ...%2")
                                .arg(log->mid(std::max<qsizetype>(0, log->size() - 4)).join(", "),
                                     model.words.mid(std::max<qsizetype>(0, model.words.size() - 4)).join(", "))};
    }
    return {-1, {}};
}

// What kind of difference a message names: "button 0", "words", "transport".
QString differenceKind(const QString &difference)
{
    return difference.section(' ', 0, 1);
}

// A short sequence that still fails the same way: cut after the failing
// event, then drop ever smaller runs of events while the same kind of
// difference shows.
std::vector<Event> shrink(const QString &folder, std::vector<Event> events, int failedAt, const QString &difference)
{
    events.resize(size_t(failedAt) + 1);
    const QString kind = differenceKind(difference);
    for (size_t run = events.size() / 2; run >= 1; run /= 2) {
        for (size_t i = 0; i + run <= events.size();) {
            std::vector<Event> shorter = events;
            shorter.erase(shorter.begin() + qsizetype(i), shorter.begin() + qsizetype(i + run));
            const auto [at, what] = replay(folder, shorter);
            if (!shorter.empty() && at >= 0 && differenceKind(what) == kind) {
                shorter.resize(size_t(at) + 1);
                events = shorter;
            } else {
                i += run;
            }
        }
    }
    return events;
}

} // namespace

class RandomEventsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        writeSkin(m_dir.path() + "/SkinDefault");
    }

    void windowFollowsTheModel_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("count");
        const quint32 base = qEnvironmentVariableIsSet("TANDRA_RANDOM_SEED")
                                 ? quint32(qEnvironmentVariableIntValue("TANDRA_RANDOM_SEED"))
                                 : 20261207u;
        for (quint32 i = 0; i < 4; ++i)
            QTest::addRow("seed %u", base + i) << base + i << 6000;
    }

    void windowFollowsTheModel()
    {
        QFETCH(quint32, seed);
        QFETCH(int, count);
        const std::vector<Event> events = generate(seed, count);
        const auto [failedAt, difference] = replay(m_dir.path(), events);
        if (failedAt < 0)
            return;
        const std::vector<Event> shortest = shrink(m_dir.path(), events, failedAt, difference);
        const QString shortestDifference = replay(m_dir.path(), shortest).second;
        QStringList steps;
        for (const Event &e : shortest)
            steps << "  " + e.describe();
        QFAIL(qPrintable(QStringLiteral("seed %1: %2 after event %3; a shortest sequence (%4 events) gives %5:\n%6")
                             .arg(seed).arg(difference).arg(failedAt).arg(shortest.size())
                             .arg(shortestDifference, steps.join('\n'))));
    }
};

QTEST_MAIN(RandomEventsTest)
#include "tst_random_events.moc"
