#pragma once

#include <QAccessibleWidget>

class LinkLabel;

// What a screen reader learns of a link label: a link named by its caption
// and described by the address it opens; pressing it opens the link as a
// click does.
class LinkLabelAccessible : public QAccessibleWidget
{
public:
    explicit LinkLabelAccessible(LinkLabel *label);

    // Lets Qt build this interface for every link label; safe to call often.
    static void install();

    QString text(QAccessible::Text t) const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

private:
    LinkLabel *label() const;
};
