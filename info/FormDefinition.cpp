#include "FormDefinition.h"

#include "SystemColors.h"

#include <QAbstractButton>
#include <QFont>
#include <QKeyEvent>
#include <QStringList>
#include <QWidget>

namespace {

// The fonts the definitions name are Windows fonts; these stand in for them
// where they are missing, all with Arabic glyphs. The condensed face comes
// first because its widths and line spacing are close enough to the Windows
// fonts for the texts to fit their fixed boxes.
const QStringList fallbackFamilies{QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans"),
                                   QStringLiteral("Noto Sans Arabic"), QStringLiteral("Noto Sans")};

void applyFont(QWidget *widget)
{
    bool ok = false;
    const double size = widget->property("pointSizeF").toDouble(&ok);
    if (!ok || size <= 0)
        return;
    QFont font = widget->font();
    font.setFamilies(QStringList{font.family()} + fallbackFamilies);
    font.setPointSizeF(size);
    widget->setFont(font);
}

} // namespace

void completeFormDefinition(QWidget *form)
{
    applyFont(form);
    for (QWidget *child : form->findChildren<QWidget *>())
        applyFont(child);
    applySystemColors(form);
}

bool pressOnEnterOrEscape(QKeyEvent *event, QAbstractButton *button)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        button->click();
        return true;
    default:
        return false;
    }
}
