#include "XTools.h"

#include <QDeadlineTimer>
#include <QtGlobal>

#include <poll.h>

#include <algorithm>
#include <cstdlib>

#include <X11/Xlib.h>

// libXtst comes with xdotool, its headers don't: the two calls used.
extern "C" {
int XTestFakeMotionEvent(Display *display, int screen, int x, int y, unsigned long delay);
int XTestFakeButtonEvent(Display *display, unsigned int button, Bool isPress, unsigned long delay);
int XTestFakeKeyEvent(Display *display, unsigned int keycode, Bool isPress, unsigned long delay);
}

namespace bench {

namespace {

// A window may be gone by the time its name is asked for.
int ignoreXErrors(Display *, XErrorEvent *)
{
    return 0;
}

QByteArray nameOf(Display *display, Window window)
{
    char *name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return {};
    const QByteArray result(name);
    XFree(name);
    return result;
}

QSize sizeOf(Display *display, Window window)
{
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes))
        return {};
    return {attributes.width, attributes.height};
}

} // namespace

XConnection::XConnection()
    : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        qFatal("no X server: run under scripts/with-test-env.sh");
    XSetErrorHandler(ignoreXErrors);
}

XConnection::~XConnection()
{
    XCloseDisplay(m_display);
}

void Clicker::moveTo(QPoint screen)
{
    XTestFakeMotionEvent(m_display, -1, screen.x(), screen.y(), 0);
    XSync(m_display, False);
}

void Clicker::click()
{
    XTestFakeButtonEvent(m_display, 1, True, 0);
    XTestFakeButtonEvent(m_display, 1, False, 0);
    XSync(m_display, False);
}

void Clicker::turnWheel(int notches)
{
    const unsigned int button = notches > 0 ? 4 : 5;
    for (int i = 0; i < std::abs(notches); ++i) {
        XTestFakeButtonEvent(m_display, button, True, 0);
        XTestFakeButtonEvent(m_display, button, False, 0);
    }
    XSync(m_display, False);
}

void Clicker::pressKey(unsigned long keysym)
{
    const unsigned int code = XKeysymToKeycode(m_display, keysym);
    XTestFakeKeyEvent(m_display, code, True, 0);
    XTestFakeKeyEvent(m_display, code, False, 0);
    XSync(m_display, False);
}

MapWatch::MapWatch()
{
    XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
    XSync(m_display, False);
}

QSize MapWatch::waitForMap(const QByteArray &title, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        while (XPending(m_display)) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == MapNotify && nameOf(m_display, event.xmap.window) == title)
                return sizeOf(m_display, event.xmap.window);
        }
        pollfd connection{ConnectionNumber(m_display), POLLIN, 0};
        poll(&connection, 1, int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return {};
}

} // namespace bench
