#include "PictureButton.h"

#include "PictureButtonAccessible.h"

#include <QMouseEvent>
#include <QPainter>

PictureButton::PictureButton(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
    PictureButtonAccessible::install();
}

void PictureButton::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    setFixedSize(sizeHint());
    update();
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // A double-size picture on a screen at 150 % is scaled down, smoothly.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(0, 0, m_picture);
}

void PictureButton::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    emit MouseDown(event->button(), event->modifiers(), event->position());
}

void PictureButton::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double-click shows as a press but does not
    // click again: the first press and release were the click.
    event->accept();
    emit MouseDown(event->button(), event->modifiers(), event->position());
}

void PictureButton::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || !m_leftPressed)
        return;
    m_leftPressed = false;
    // A click is a left press and release both over the button.
    if (rect().contains(event->position().toPoint()))
        emit Click();
}

void PictureButton::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    emit MouseMove(event->buttons(), event->modifiers(), event->position());
}

void PictureButton::changeEvent(QEvent *event)
{
    // A press that can no longer end in a release here must not click later.
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        m_leftPressed = false;
    QWidget::changeEvent(event);
}

void PictureButton::hideEvent(QHideEvent *event)
{
    m_leftPressed = false;
    QWidget::hideEvent(event);
}
