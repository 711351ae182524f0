#include "SystemColors.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

#include <array>

namespace {

struct SystemColorEntry
{
    SystemColor color;
    std::optional<QPalette::ColorRole> role;
    QRgb windowsDefault; // Windows XP default scheme, for colours Qt has no role for
};

// The one place where system colours are resolved.
constexpr std::array<SystemColorEntry, 7> systemColorTable{{
    {SystemColor::COLOR_BACKGROUND, std::nullopt, qRgb(0, 78, 152)},
    {SystemColor::COLOR_WINDOW, QPalette::Base, qRgb(255, 255, 255)},
    {SystemColor::COLOR_WINDOWTEXT, QPalette::WindowText, qRgb(0, 0, 0)},
    {SystemColor::COLOR_CAPTIONTEXT, std::nullopt, qRgb(255, 255, 255)},
    {SystemColor::COLOR_APPWORKSPACE, std::nullopt, qRgb(128, 128, 128)},
    {SystemColor::COLOR_INACTIVECAPTIONTEXT, std::nullopt, qRgb(216, 228, 248)},
    {SystemColor::COLOR_3DLIGHT, QPalette::Midlight, qRgb(241, 239, 226)},
}};

QColor resolve(const SystemColorEntry &entry)
{
    if (entry.role)
        return QApplication::palette().color(QPalette::Active, *entry.role);
    return QColor(entry.windowsDefault);
}

} // namespace

std::optional<QColor> systemColorByIndex(int index)
{
    for (const SystemColorEntry &entry : systemColorTable) {
        if (static_cast<int>(entry.color) == index)
            return resolve(entry);
    }
    return std::nullopt;
}

QColor systemColor(SystemColor color)
{
    return systemColorByIndex(static_cast<int>(color)).value();
}

namespace {

void applyTo(QWidget *widget)
{
    bool ok = false;
    const int back = widget->property("sysBackColor").toInt(&ok);
    const auto backColor = ok ? systemColorByIndex(back) : std::nullopt;
    const int fore = widget->property("sysForeColor").toInt(&ok);
    const auto foreColor = ok ? systemColorByIndex(fore) : std::nullopt;
    if (!backColor && !foreColor)
        return;
    QPalette palette = widget->palette();
    if (backColor)
        palette.setColor(QPalette::Window, *backColor);
    if (foreColor)
        palette.setColor(QPalette::WindowText, *foreColor);
    widget->setPalette(palette);
}

} // namespace

void applySystemColors(QWidget *root)
{
    applyTo(root);
    for (QWidget *child : root->findChildren<QWidget *>())
        applyTo(child);
}
