#include "BackgroundArea.h"

#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

namespace {

// Only a picture to look at: a screen reader passes over it to the buttons.
QAccessibleInterface *backgroundFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("BackgroundArea"))
        return nullptr;
    auto *background = qobject_cast<BackgroundArea *>(object);
    return background ? new QAccessibleWidget(background, QAccessible::NoRole) : nullptr;
}

} // namespace

BackgroundArea::BackgroundArea(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(backgroundFactory);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);
}

void BackgroundArea::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void BackgroundArea::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // A double-size picture on a screen at 150 % is scaled down, smoothly.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(0, 0, m_picture);
}

void BackgroundArea::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    emit MouseMove(event->buttons(), event->modifiers(), event->position());
}
