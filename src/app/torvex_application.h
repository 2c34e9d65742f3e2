#pragma once

#include <QApplication>

// The application object. Handlers wired by the window catch their own errors; this is the net for anything
// else that throws while an event is delivered, so one failing event never ends the program.
class TorvexApplication : public QApplication {
    Q_OBJECT

public:
    TorvexApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
