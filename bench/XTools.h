#pragma once

// Straight to the X server, for moments xdotool can't time: its click
// returns some 100 ms after the click, and its --sync search looks twice a
// second.
#include <QByteArray>
#include <QPoint>
#include <QSize>

struct _XDisplay;

namespace bench {

class XConnection
{
public:
    XConnection(); // qFatal without an X server
    ~XConnection();
    XConnection(const XConnection &) = delete;
    XConnection &operator=(const XConnection &) = delete;

protected:
    _XDisplay *m_display;
};

// Clicks, turns the wheel and presses keys through the X test extension, as
// xdotool does; each returns once the server has had all of it.
class Clicker : public XConnection
{
public:
    void moveTo(QPoint screen);
    // Presses and releases the left button.
    void click();
    // Turns the wheel by `notches` at once, up when positive.
    void turnWheel(int notches);
    // Presses and releases the key of an X keysym (XK_1 is 0x31).
    void pressKey(unsigned long keysym);
};

// Tells when a top-level window is mapped. Watches from its construction.
class MapWatch : public XConnection
{
public:
    MapWatch();
    // The size of the first window with this title mapped since; empty when
    // none came in time.
    QSize waitForMap(const QByteArray &title, int timeoutMs);
};

} // namespace bench
