#pragma once

#include <QDialog>

#include <functional>

class QSpinBox;

// A channel's offset in ms, edited in a small modal box: every step is
// applied at once, so that the user hears where the channel falls; Enter
// keeps the value, Esc (or the close box) gives back the one it opened with.
// The arrow keys step 10 ms, Page Up and Page Down a second.
class OffsetBox : public QDialog
{
    Q_OBJECT

public:
    // apply: what makes an offset heard; called with each new value.
    OffsetBox(int channel, qint64 offsetMs, std::function<void(qint64)> apply, QWidget *parent);

    void done(int result) override;

private:
    QSpinBox *m_value;
    qint64 m_opened;
    std::function<void(qint64)> m_apply;
};
