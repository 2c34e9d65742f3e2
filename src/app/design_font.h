#pragma once

#include <QStringList>

// The window is designed for Tahoma, which Linux machines do not have. The program carries its own narrow face
// for them, so the captions fit the same way on every machine, whatever fonts happen to be installed.

// The family list of the window font: the design face first, then the carried one.
QStringList designFontFamilies();

// Makes the carried faces (regular and bold) known to the application, once per process. Returns the families
// they were registered under; empty when they could not be registered.
QStringList registerEmbeddedFonts();
