#include "SystemColors.h"

#include <QApplication>
#include <QPalette>
#include <QVariant>
#include <QWidget>

#include <array>
#include <optional>

namespace {

struct SystemColorEntry
{
    SystemColor color;
    std::optional<QPalette::ColorRole> role;
    QRgb windowsDefault; // in the Windows XP default scheme
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

// The entry a colour property (a system colour index) names, if any.
const SystemColorEntry *entryFor(const QVariant &index)
{
    bool ok = false;
    const int value = index.toInt(&ok);
    for (const SystemColorEntry &entry : systemColorTable) {
        if (ok && static_cast<int>(entry.color) == value)
            return &entry;
    }
    return nullptr;
}

QColor resolve(const SystemColorEntry &entry, ColorScheme scheme)
{
    if (scheme == ColorScheme::Palette && entry.role)
        return QApplication::palette().color(QPalette::Active, *entry.role);
    return QColor(entry.windowsDefault);
}

void applyTo(QWidget *widget)
{
    const SystemColorEntry *back = entryFor(widget->property("sysBackColor"));
    const SystemColorEntry *fore = entryFor(widget->property("sysForeColor"));
    if (!back && !fore)
        return;
    QPalette palette = widget->palette();
    // A colour the definition gives as RGB is as fixed as one Qt has no role for.
    const bool backThemed = back ? back->role.has_value() : !palette.isBrushSet(QPalette::Active, QPalette::Window);
    const bool foreThemed =
        fore ? fore->role.has_value() : !palette.isBrushSet(QPalette::Active, QPalette::WindowText);
    const ColorScheme scheme = backThemed && foreThemed ? ColorScheme::Palette : ColorScheme::Windows;
    if (back)
        palette.setColor(QPalette::Window, resolve(*back, scheme));
    if (fore)
        palette.setColor(QPalette::WindowText, resolve(*fore, scheme));
    else if (foreThemed && scheme == ColorScheme::Windows)
        palette.setColor(QPalette::WindowText, systemColor(SystemColor::COLOR_WINDOWTEXT, scheme));
    widget->setPalette(palette);
}

} // namespace

QColor systemColor(SystemColor color, ColorScheme scheme)
{
    return resolve(*entryFor(static_cast<int>(color)), scheme);
}

void applySystemColors(QWidget *root)
{
    applyTo(root);
    for (QWidget *child : root->findChildren<QWidget *>())
        applyTo(child);
}
