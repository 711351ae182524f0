#include "QtOpenFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace {

// QFileDialog keeps its look (view mode, sidebar and column widths, last
// folder, history) in Qt's settings file, which the next run would start
// from. Pointed where no file can be, Qt writes and reads none. (It ignores
// QSettings::setDefaultFormat.)
void keepQtSettingsOffDisk()
{
    for (const auto scope : {QSettings::UserScope, QSettings::SystemScope})
        QSettings::setPath(QSettings::NativeFormat, scope, QStringLiteral("/dev/null"));
}

// The look of the last dialog closed, for the next one of this run.
QByteArray lastLook;

// "description|patterns" becomes QFileDialog's "description (patterns)".
// A preset such as "*.wav; *.mp3" doubles as the pattern list when the entry
// has none of its own, so the media files are listed first.
QStringList nameFilters(const OpenFileDialogSettings &settings)
{
    QString presetPatterns = settings.initialFileName;
    presetPatterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    presetPatterns = presetPatterns.simplified();

    QStringList filters;
    for (const QString &entry : settings.filters) {
        const qsizetype bar = entry.indexOf(QLatin1Char('|'));
        const QString description = bar < 0 ? entry : entry.left(bar);
        QString patterns = bar < 0 ? QString() : entry.mid(bar + 1).simplified();
        if (patterns.isEmpty())
            patterns = presetPatterns;
        filters << QStringLiteral("%1 (%2)").arg(description, patterns);
    }
    if (filters.isEmpty() && presetPatterns.contains(QLatin1Char('*')))
        filters << presetPatterns;
    return filters;
}

} // namespace

QtOpenFileDialog::QtOpenFileDialog(OpenFileDialogSettings settings, QWidget *parent)
    : m_settings(std::move(settings))
    , m_parent(parent)
    , m_nameBox(m_settings.initialFileName)
{
    keepQtSettingsOffDisk();
}

void QtOpenFileDialog::showOpen()
{
    QFileDialog dialog(m_parent);
    // Modal to the main window only: the help and about windows, which have
    // no owner, stay usable.
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters(m_settings));
    if (!lastLook.isEmpty())
        dialog.restoreState(lastLook);
    if (!m_folder.isEmpty())
        dialog.setDirectory(m_folder);
    // A pattern in the name box would only filter again; show a real name
    // only. A full path also opens the dialog in the file's folder.
    if (!m_nameBox.isEmpty() && !m_nameBox.contains(QLatin1Char('*')))
        dialog.selectFile(m_nameBox);

    const int result = dialog.exec();
    lastLook = dialog.saveState();
    if (result == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_nameBox = dialog.selectedFiles().constFirst();
        m_folder = QFileInfo(m_nameBox).absolutePath();
        m_fileName = QDir::toNativeSeparators(m_nameBox);
    } else {
        m_folder = dialog.directory().absolutePath();
        m_nameBox.clear();
        m_fileName.clear();
    }
}
