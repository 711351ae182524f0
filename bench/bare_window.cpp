// A bare Qt window of the player's size, the anchor for its start-up time.
// Built a second time with WITH_MENU_BAR: the same window with a menu bar of
// two Arabic menus, which shows what any window with text pays for its fonts.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
#ifdef WITH_MENU_BAR
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("ملف"));
    window.menuBar()->addMenu(QStringLiteral("مساعدة"));
#else
    QWidget window;
#endif
    window.setWindowTitle(QStringLiteral("Tandra-bare"));
    window.setFixedSize(375, 206);
    window.show();
    return QApplication::exec();
}
