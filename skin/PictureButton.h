#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

// An image control: shows one replaceable picture at its own size, unscaled,
// and raises Click, MouseDown and MouseMove. It takes every mouse event over
// its area, so nothing reaches a control beneath it or the window background.
class PictureButton : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QPixmap picture READ picture WRITE setPicture)

public:
    explicit PictureButton(QWidget *parent = nullptr);

    QPixmap picture() const { return m_picture; }
    // The button takes the picture's size, anchored at its top-left corner:
    // its size in the window's units, whatever its device pixel ratio.
    void setPicture(const QPixmap &picture);

    QSize sizeHint() const override { return m_picture.deviceIndependentSize().toSize(); }

    // What a screen reader is told the button holds, asked afresh each time
    // it asks; without a describer, the button's accessibleDescription.
    void setDescriber(std::function<QString()> describe) { m_describe = std::move(describe); }
    QString description() const { return m_describe ? m_describe() : accessibleDescription(); }

signals:
    void Click();
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF position);
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, QPointF position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QPixmap m_picture;
    bool m_leftPressed = false;
    std::function<QString()> m_describe;
};
