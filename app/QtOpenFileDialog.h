#pragma once

#include "OpenFileDialog.h"

#include <QDir>

// The open-file dialog on QFileDialog. Like the component it stands for, it
// starts each use from what the last one left: after a choice in the file's
// folder with its name in the name box, so that Enter chooses it again;
// after a cancel in the folder it was showing, with the name box empty.
class QtOpenFileDialog : public OpenFileDialog
{
public:
    explicit QtOpenFileDialog(OpenFileDialogSettings settings, QWidget *parent = nullptr);

    void showOpen() override;
    QString fileName() const override { return m_fileName; }

private:
    OpenFileDialogSettings m_settings;
    QWidget *m_parent;
    QString m_folder;   // where the next use starts; empty: the working folder
    QString m_nameBox;  // the last file chosen, the stored preset before any use, empty after a cancel
    QString m_fileName; // the result of the last use
};
