#pragma once

#include "tfmain.h"

// The program: application object, one main window, message loop. The command line is not read (Qt's own
// platform options aside); the result is always 0.
int runTorvexApp(int &argc, char **argv, TFMainOptions options);
