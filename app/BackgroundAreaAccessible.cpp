#include "BackgroundAreaAccessible.h"

#include "BackgroundArea.h"

namespace {

QAccessibleInterface *backgroundFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("BackgroundArea"))
        return nullptr;
    auto *area = qobject_cast<BackgroundArea *>(object);
    return area ? new BackgroundAreaAccessible(area) : nullptr;
}

} // namespace

BackgroundAreaAccessible::BackgroundAreaAccessible(BackgroundArea *area)
    : QAccessibleWidget(area, QAccessible::Pane)
{
}

void BackgroundAreaAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(backgroundFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

QList<QAccessibleInterface *> BackgroundAreaAccessible::shownChildren() const
{
    QList<QAccessibleInterface *> shown;
    for (QObject *object : widget()->children()) {
        auto *control = qobject_cast<QWidget *>(object);
        if (!control || control->isWindow())
            continue;
        QAccessibleInterface *seen = QAccessible::queryAccessibleInterface(control);
        if (seen && seen->role() != QAccessible::Graphic && seen->role() != QAccessible::NoRole)
            shown << seen;
    }
    return shown;
}

int BackgroundAreaAccessible::childCount() const { return int(shownChildren().size()); }

QAccessibleInterface *BackgroundAreaAccessible::child(int index) const { return shownChildren().value(index); }

int BackgroundAreaAccessible::indexOfChild(const QAccessibleInterface *child) const
{
    return int(shownChildren().indexOf(const_cast<QAccessibleInterface *>(child)));
}
