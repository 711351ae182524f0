#include "PictureButtonAccessible.h"

#include "PictureButton.h"

#include <QApplication>

namespace {

QAccessibleInterface *pictureButtonFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("PictureButton"))
        return nullptr;
    auto *button = qobject_cast<PictureButton *>(object);
    return button ? new PictureButtonAccessible(button) : nullptr;
}

} // namespace

PictureButtonAccessible::PictureButtonAccessible(PictureButton *button)
    : QAccessibleWidget(button, QAccessible::Button)
{
}

void PictureButtonAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(pictureButtonFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

PictureButton *PictureButtonAccessible::button() const
{
    return static_cast<PictureButton *>(widget());
}

QAccessible::Role PictureButtonAccessible::role() const
{
    return button()->accessibleName().isEmpty() ? QAccessible::Graphic : QAccessible::Button;
}

QString PictureButtonAccessible::text(QAccessible::Text t) const
{
    return t == QAccessible::Description ? button()->description() : QAccessibleWidget::text(t);
}

bool PictureButtonAccessible::covered() const
{
    // Controls later among the siblings lie higher and take the mouse there.
    const QWidget *parent = button()->parentWidget();
    if (!parent)
        return false;
    const QObjectList &siblings = parent->children();
    for (qsizetype i = siblings.indexOf(button()) + 1; i < siblings.size(); ++i) {
        const auto *above = qobject_cast<const QWidget *>(siblings.at(i));
        if (above && !above->isHidden() && above->geometry().contains(button()->geometry()))
            return true;
    }
    return false;
}

bool PictureButtonAccessible::blockedByDialog() const
{
    // The dialog holds back the mouse and keys itself; a screen reader's
    // press comes by another way.
    const QWidget *modal = QApplication::activeModalWidget();
    const QWidget *window = button()->window();
    if (!modal || modal == window)
        return false;
    if (modal->windowModality() == Qt::ApplicationModal)
        return true;
    for (const QWidget *owner = modal->parentWidget(); owner; owner = owner->parentWidget())
        if (owner->window() == window)
            return true;
    return false;
}

bool PictureButtonAccessible::pressable() const
{
    return role() == QAccessible::Button && button()->isEnabled() && !covered() && !blockedByDialog();
}

QAccessible::State PictureButtonAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    if (covered())
        state.disabled = true;
    return state;
}

QStringList PictureButtonAccessible::actionNames() const
{
    return pressable() ? QStringList{pressAction()} : QStringList();
}

void PictureButtonAccessible::doAction(const QString &actionName)
{
    // Only where a mouse click would reach the button.
    if (actionName == pressAction() && pressable())
        emit button()->Click();
}
