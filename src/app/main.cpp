#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TORVEX - PC"));
    QWidget w;
    w.show();
    return app.exec();
}
