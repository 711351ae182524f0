#pragma once

#include <QAccessibleWidget>

class PictureButton;

// What a screen reader learns of a picture button: a push button named after
// its command, unavailable while disabled or covered whole by a control above
// it (a transport button under its disabled look), pressed as a click does,
// but not while a dialog modal to its window is open. A picture without a
// name stands for no command, as the disabled looks themselves: a plain
// image, which the window leaves out of what it shows a screen reader.
class PictureButtonAccessible : public QAccessibleWidget
{
public:
    explicit PictureButtonAccessible(PictureButton *button);

    // Lets Qt build this interface for every picture button; safe to call often.
    static void install();

    QAccessible::Role role() const override;
    QString text(QAccessible::Text t) const override;
    QAccessible::State state() const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

private:
    PictureButton *button() const;
    bool covered() const;
    bool blockedByDialog() const;
    bool pressable() const;
};
