#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// What a stored open-file dialog holds: the preset in its file-name box and
// its list of file types ("description|patterns"; an empty pattern part means
// the description alone).
struct OpenFileDialogSettings
{
    QString initialFileName;
    QStringList filters;
};

// An open-file dialog component: shown modally, then asked for the chosen
// file's full path, which is empty after a cancel.
class OpenFileDialog
{
public:
    virtual ~OpenFileDialog() = default;
    virtual void showOpen() = 0;
    virtual QString fileName() const = 0;
};
