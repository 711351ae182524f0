#pragma once

#include "OpenFileDialog.h"

#include <QDir>

// The open-file dialog on QFileDialog. Like the component it stands for, it
// starts each use from the last file chosen: in its folder, with its name in
// the name box, so that Enter chooses it again.
class QtOpenFileDialog : public OpenFileDialog
{
public:
    explicit QtOpenFileDialog(OpenFileDialogSettings settings, QWidget *parent = nullptr);

    void showOpen() override;
    QString fileName() const override { return m_fileName; }

private:
    OpenFileDialogSettings m_settings;
    QWidget *m_parent;
    QString m_lastChoice; // full path, or the stored preset before any choice
    QString m_fileName;   // the result of the last use
};
