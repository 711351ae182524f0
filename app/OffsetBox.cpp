#include "OffsetBox.h"

#include "Playback.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

constexpr int StepMs = 10;
constexpr int PageMs = 1000;

// QSpinBox pages by ten steps; a second is what lining up takes.
class MillisecondBox : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
            stepBy((event->key() == Qt::Key_PageUp ? PageMs : -PageMs) / singleStep());
            event->accept();
            return;
        }
        QSpinBox::keyPressEvent(event);
    }
};

} // namespace

OffsetBox::OffsetBox(int channel, qint64 offsetMs, std::function<void(qint64)> apply, QWidget *parent)
    : QDialog(parent)
    , m_value(new MillisecondBox(this))
    , m_opened(offsetMs)
    , m_apply(std::move(apply))
{
    setObjectName(QStringLiteral("Frm_Offset"));
    setWindowTitle(QStringLiteral("إزاحة القناة %1").arg(channel + 1));
    setLayoutDirection(Qt::RightToLeft);

    auto *hint = new QLabel(QStringLiteral("موجبة: يبدأ ملف القناة بعد الأخرى بقدرها.\nسالبة: يُتخطّى أوله بقدرها."), this);
    m_value->setObjectName(QStringLiteral("Spn_Offset"));
    m_value->setAccessibleName(windowTitle());
    m_value->setLayoutDirection(Qt::LeftToRight); // a signed number with its unit
    m_value->setRange(-int(Playback::MaxOffsetMs), int(Playback::MaxOffsetMs));
    m_value->setSingleStep(StepMs);
    m_value->setSuffix(QStringLiteral(" ms"));
    m_value->setValue(int(offsetMs));
    // A number being typed is applied once it is complete, on Enter.
    m_value->setKeyboardTracking(false);
    connect(m_value, &QSpinBox::valueChanged, this, [this](int value) { m_apply(value); });

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("موافق"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("إلغاء"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(m_value);
    layout->addWidget(buttons);
    setFixedSize(sizeHint());
    // Ready to step or to be typed over.
    m_value->setFocus();
    m_value->selectAll();
}

void OffsetBox::done(int result)
{
    if (result == Accepted)
        m_value->interpretText(); // a number typed, not yet applied
    // Closing takes the focus from the box, which would apply a typed number.
    m_value->blockSignals(true);
    if (result == Rejected && m_value->value() != m_opened)
        m_apply(m_opened);
    QDialog::done(result);
}
