#pragma once

#include "OpenFileDialog.h"

#include <QDir>

// The open-file dialog on QFileDialog. Like the component it stands for, it
// remembers its folder and file name from one use to the next.
class QtOpenFileDialog : public OpenFileDialog
{
public:
    explicit QtOpenFileDialog(OpenFileDialogSettings settings, QWidget *parent = nullptr);

    void showOpen() override;
    QString fileName() const override { return m_fileName; }

private:
    OpenFileDialogSettings m_settings;
    QWidget *m_parent;
    QString m_folder;
    QString m_lastChoice; // what the name box shows next time
    QString m_fileName;   // the result of the last use
};
