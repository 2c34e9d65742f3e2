#include "torvex_application.h"

#include "error_box.h"

TorvexApplication::TorvexApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(torvex::kApplicationTitle));
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
