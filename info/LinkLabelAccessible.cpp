#include "LinkLabelAccessible.h"

#include "LinkLabel.h"

namespace {

QAccessibleInterface *linkLabelFactory(const QString &className, QObject *object)
{
    if (className != QLatin1String("LinkLabel"))
        return nullptr;
    auto *label = qobject_cast<LinkLabel *>(object);
    return label ? new LinkLabelAccessible(label) : nullptr;
}

} // namespace

LinkLabelAccessible::LinkLabelAccessible(LinkLabel *label)
    : QAccessibleWidget(label, QAccessible::Link)
{
}

void LinkLabelAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(linkLabelFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

LinkLabel *LinkLabelAccessible::label() const
{
    return static_cast<LinkLabel *>(widget());
}

QString LinkLabelAccessible::text(QAccessible::Text t) const
{
    switch (t) {
    case QAccessible::Name: return label()->text();
    case QAccessible::Description: return label()->tag();
    default: return QAccessibleWidget::text(t);
    }
}

QStringList LinkLabelAccessible::actionNames() const
{
    return {pressAction()};
}

void LinkLabelAccessible::doAction(const QString &actionName)
{
    if (actionName == pressAction())
        emit label()->Click();
}
