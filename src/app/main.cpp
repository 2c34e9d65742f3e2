#include "app_main.h"

int main(int argc, char *argv[])
{
    TFMainOptions options;
    options.hidPlatform = torvex::createNativeHidPlatform();
    return runTorvexApp(argc, argv, options);
}
