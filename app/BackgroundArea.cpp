#include "BackgroundArea.h"

#include "BackgroundAreaAccessible.h"

#include <QMouseEvent>
#include <QPainter>

BackgroundArea::BackgroundArea(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    BackgroundAreaAccessible::install();
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
