#include "torvex_application.h"

#include "error_box.h"

TorvexApplication::TorvexApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(torvex::kApplicationTitle));
    // The installed desktop entry's name: lets the desktop give the window that entry's name and icon.
    setDesktopFileName(QStringLiteral("pl.torvex.TorvexPC"));
}

bool TorvexApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        torvex::showCurrentException();
        return false;
    }
}
