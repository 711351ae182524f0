#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

// The shell's "execute" call: hands a document or address to whatever the
// desktop has registered for it. Kept behind an interface so that tests can
// record the calls instead of starting a browser.
class ShellLayer
{
public:
    static constexpr int SW_SHOWMAXIMIZED = 3;

    virtual ~ShellLayer() = default;

    // owner 0 means none; parameters and directory may be null. Returns
    // whether the desktop took the request.
    virtual bool ShellExecuteA(quintptr owner, const char *operation, const char *file,
                               const char *parameters, const char *directory,
                               int showCommand) = 0;
};

// Opens web addresses with the desktop's default handler. Only the "open"
// operation on an http or https address is carried out; nothing is ever run
// through a command line.
class DesktopShellLayer final : public ShellLayer
{
public:
    bool ShellExecuteA(quintptr owner, const char *operation, const char *file,
                       const char *parameters, const char *directory, int showCommand) override;
};

std::shared_ptr<ShellLayer> desktopShellLayer();
