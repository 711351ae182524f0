#pragma once

#include <QAccessibleWidget>

class BackgroundArea;

// What a screen reader learns of the window's client area: a panel holding
// the buttons. The pictures on it that do nothing (the disabled looks) are
// left out, so that a reader passes straight to the buttons.
class BackgroundAreaAccessible : public QAccessibleWidget
{
public:
    explicit BackgroundAreaAccessible(BackgroundArea *area);

    // Lets Qt build this interface for the area; safe to call often.
    static void install();

    int childCount() const override;
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;

private:
    QList<QAccessibleInterface *> shownChildren() const;
};
