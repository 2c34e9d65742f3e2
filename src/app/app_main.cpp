#include "app_main.h"

#include "error_box.h"
#include "torvex_application.h"

int runTorvexApp(int &argc, char **argv, TFMainOptions options)
{
    try {
        TorvexApplication app(argc, argv);
        try {
            TFMain window(options);
            window.show();
            app.exec();
        } catch (...) {
            torvex::showCurrentException();
        }
    } catch (...) {
        // Without an application object there is no error box to show.
    }
    return 0;
}
