#pragma once

#include <QPixmap>
#include <QWidget>

// The main window's client area: draws its stored picture unscaled at the
// top-left and raises MouseMove only where no visible control covers it.
class BackgroundArea : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QPixmap picture READ picture WRITE setPicture)

public:
    explicit BackgroundArea(QWidget *parent = nullptr);

    QPixmap picture() const { return m_picture; }
    void setPicture(const QPixmap &picture);

signals:
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, QPointF position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QPixmap m_picture;
};
