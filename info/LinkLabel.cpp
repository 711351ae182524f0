#include "LinkLabel.h"

#include "LinkLabelAccessible.h"

#include <QMouseEvent>

LinkLabel::LinkLabel(QWidget *parent)
    : QLabel(parent)
{
    setMouseTracking(true);
    // Moves over a link are the link's own; they must not reach the window
    // background, whose handler clears the underline.
    setAttribute(Qt::WA_NoMousePropagation);
    LinkLabelAccessible::install();
}

void LinkLabel::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
}

void LinkLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The first press and release of a double-click opened the link already.
    event->accept();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() != Qt::LeftButton || !m_leftPressed)
        return;
    m_leftPressed = false;
    // A click is a left press and release both over the label, its outer
    // band included.
    if (QRectF(rect()).contains(event->position()))
        emit Click();
}

void LinkLabel::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    emit MouseMove(event->buttons(), event->modifiers(), event->position());
}
