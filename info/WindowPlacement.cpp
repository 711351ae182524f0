#include "WindowPlacement.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

namespace {

void centreFrame(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    // Before the window is shown its frame is its client area.
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

// The frame is the window manager's, known only after the window is shown:
// its first move with a frame (the manager putting the window in one)
// centres it again, by the frame this time.
class FrameCentring : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = static_cast<QWidget *>(watched);
        if ((event->type() == QEvent::Move || event->type() == QEvent::Show)
            && window->frameGeometry() != window->geometry()) {
            deleteLater();
            window->removeEventFilter(this);
            centreFrame(window);
        }
        return false;
    }
};

} // namespace

void centreOnScreen(QWidget *window)
{
    centreFrame(window);
    window->installEventFilter(new FrameCentring(window));
}
