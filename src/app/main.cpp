#include "app_main.h"

int main(int argc, char *argv[])
{
    return runTorvexApp(argc, argv, TFMainOptions{});
}
