#pragma once

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace infotest {

constexpr double TwipsPerPixel = 15.0;

inline QRect twipsToPixels(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// A pointer move over a widget, at a position in twips from its top-left
// corner, with fractional pixels kept.
inline void moveOver(QWidget *widget, QPointF twips, Qt::MouseButtons buttons = Qt::NoButton)
{
    const QPointF local = twips / TwipsPerPixel;
    QMouseEvent event(QEvent::MouseMove, local, widget->mapToGlobal(local), Qt::NoButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Empty columns of background left and right of a label's text, its frame
// left out; with a line count, only the top lines are looked at.
struct InkGaps
{
    int left = -1;
    int right = -1;
};

inline InkGaps inkGaps(QLabel *label, int lines = 0)
{
    const QImage image = label->grab().toImage();
    const QColor background = label->palette().color(QPalette::Window);
    const int frame = label->frameWidth();
    const int bottom = lines > 0 ? qMin(image.height() - frame, frame + lines * QFontMetrics(label->font()).lineSpacing())
                                 : image.height() - frame;
    auto inked = [&](int x) {
        for (int y = frame; y < bottom; ++y) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - background.red()) + qAbs(c.green() - background.green())
                    + qAbs(c.blue() - background.blue())
                > 60)
                return true;
        }
        return false;
    };
    InkGaps gaps;
    for (int x = frame; x < image.width() - frame; ++x) {
        if (inked(x)) {
            gaps.left = x - frame;
            break;
        }
    }
    for (int x = image.width() - frame - 1; x >= frame; --x) {
        if (inked(x)) {
            gaps.right = image.width() - frame - 1 - x;
            break;
        }
    }
    return gaps;
}

enum class CloseWay { Button, CloseBox, Return, Enter, Escape, Tab };

// Closes (or tries to close) a shown window one of the ways a user can;
// returns whether the window object is gone afterwards.
inline bool closeAndCheckDestroyed(QWidget *window, QPushButton *button, CloseWay way)
{
    QPointer<QWidget> guard(window);
    switch (way) {
    case CloseWay::Button:
        QTest::mouseClick(button, Qt::LeftButton);
        break;
    case CloseWay::CloseBox:
        window->close();
        break;
    case CloseWay::Return:
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Return);
        break;
    case CloseWay::Enter:
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Enter);
        break;
    case CloseWay::Escape:
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Escape);
        break;
    case CloseWay::Tab:
        QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_Tab);
        break;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return guard.isNull();
}

inline void addCloseRows()
{
    QTest::addColumn<CloseWay>("way");
    QTest::addColumn<bool>("closes");
    QTest::newRow("button") << CloseWay::Button << true;
    QTest::newRow("close box") << CloseWay::CloseBox << true;
    QTest::newRow("Return") << CloseWay::Return << true;
    QTest::newRow("keypad Enter") << CloseWay::Enter << true;
    QTest::newRow("Escape") << CloseWay::Escape << true;
    QTest::newRow("Tab") << CloseWay::Tab << false;
}

// Shows a window and waits until it is the active one, so that keys and
// focus behave as for a user.
inline bool showActive(QWidget *window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// A dark desktop theme for one scope.
struct DarkPalette
{
    const QPalette saved = QApplication::palette();
    DarkPalette() { QApplication::setPalette(QPalette(QColor(53, 53, 53))); }
    ~DarkPalette() { QApplication::setPalette(saved); }
};

// Text far apart in lightness from its ground.
inline bool readable(const QPalette &p)
{
    return qAbs(qGray(p.color(QPalette::Window).rgb()) - qGray(p.color(QPalette::WindowText).rgb())) > 100;
}

} // namespace infotest

Q_DECLARE_METATYPE(infotest::CloseWay)
