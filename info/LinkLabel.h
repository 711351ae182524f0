#pragma once

#include <QLabel>
#include <QPointF>

// One member of a link label control array. The form connects every member's
// events to one handler and tells the members apart by Index; Tag holds the
// web address the member opens.
class LinkLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(int Index READ index WRITE setIndex)
    Q_PROPERTY(QString Tag READ tag WRITE setTag)

public:
    explicit LinkLabel(QWidget *parent = nullptr);

    int index() const { return m_index; }
    void setIndex(int index) { m_index = index; }
    QString tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

signals:
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, QPointF position);
    void Click();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    int m_index = 0;
    QString m_tag;
    bool m_leftPressed = false;
};
