#pragma once

#include "tfmain.h"

// The program: application object, one main window, message loop. The command line is not read (Qt's own
// platform options aside); the result is always 0.
int runTorvexApp(int &argc, char **argv, TFMainOptions options);

// Everything after the application object: the settings file is locked for this process, the window is made
// and the message loop runs until it closes. When another copy of the program holds that settings file, a
// message says so (in the language the file selects) and nothing is written, neither the settings file nor a
// log; on Windows that copy's window comes to the front.
int runMainWindow(TFMainOptions options);
