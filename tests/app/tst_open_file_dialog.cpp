#include "QtOpenFileDialog.h"

#include <QtTest>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// Runs `act` on the file dialog once it is shown, then lets showOpen return.
void whenShown(std::function<void(QFileDialog *)> act)
{
    QTimer::singleShot(0, [act] {
        QFileDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())));
        act(dialog);
    });
}

} // namespace

class OpenFileDialogTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QTemporaryDir m_config; // the dialogs' configuration folder

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid() && m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        for (const char *name : {"a.wav", "b.mp3", "notes.txt"}) {
            QFile file(m_dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    void mediaDialogListsItsTypesAndStartsFromTheLastChoice()
    {
        QtOpenFileDialog dialog({"*.wav; *.mp3; *.wma; *.dat;*.avi; *.mid", {"All Media File|"}});
        QStringList filters;
        whenShown([&](QFileDialog *d) {
            filters = d->nameFilters();
            // A full path typed while the dialog shows another folder.
            d->findChild<QLineEdit *>("fileNameEdit")->setText(m_dir.filePath("b.mp3"));
            static_cast<QDialog *>(d)->accept(); // as the Open button does
        });
        dialog.showOpen();
        QCOMPARE(filters, QStringList{"All Media File (*.wav *.mp3 *.wma *.dat *.avi *.mid)"});
        QCOMPARE(dialog.fileName(), QDir::toNativeSeparators(m_dir.filePath("b.mp3")));

        // The next use starts in that file's folder, where Enter chooses it again.
        QStringList enterChooses;
        whenShown([&](QFileDialog *d) {
            enterChooses = d->selectedFiles();
            d->reject();
        });
        dialog.showOpen();
        QCOMPARE(enterChooses, QStringList{m_dir.filePath("b.mp3")});
        QVERIFY(dialog.fileName().isEmpty()); // a cancel gives the empty text

        // After the cancel: the same folder, and nothing in the name box.
        QString folder = "not shown";
        QString nameBox = "not shown";
        whenShown([&](QFileDialog *d) {
            folder = d->directory().absolutePath();
            nameBox = d->findChild<QLineEdit *>("fileNameEdit")->text();
            d->reject();
        });
        dialog.showOpen();
        QCOMPARE(folder, QDir(m_dir.path()).absolutePath());
        QCOMPARE(nameBox, QString());
    }

    // The look a dialog was left with is the next one's, in this run only.
    void theLookLastsTheRun()
    {
        QtOpenFileDialog first({"*.wav", {}});
        whenShown([](QFileDialog *d) {
            d->setViewMode(QFileDialog::List);
            d->reject();
        });
        first.showOpen();
        QtOpenFileDialog second({"*.wav", {}});
        QFileDialog::ViewMode viewMode = QFileDialog::Detail;
        whenShown([&](QFileDialog *d) {
            viewMode = d->viewMode();
            d->reject();
        });
        second.showOpen();
        QCOMPARE(viewMode, QFileDialog::List);
        QVERIFY2(QDir(m_config.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 "a settings file was written");
    }

    void skinDialogOffersItsPreset()
    {
        QtOpenFileDialog dialog({"*.skn", {}});
        QStringList filters;
        whenShown([&](QFileDialog *d) {
            filters = d->nameFilters();
            d->reject();
        });
        dialog.showOpen();
        QCOMPARE(filters, QStringList{"*.skn"});
        QVERIFY(dialog.fileName().isEmpty());
    }
};

QTEST_MAIN(OpenFileDialogTest)
#include "tst_open_file_dialog.moc"
