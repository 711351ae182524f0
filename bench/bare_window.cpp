// A bare Qt window of the player's size, the anchor for its start-up time.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tandra-bare"));
    window.setFixedSize(375, 206);
    window.show();
    return QApplication::exec();
}
