#pragma once

class QWidget;

// Gives each control of the main window a name that says which setting it is, in the active language: a caption
// serving one control becomes its label (buddy); a cell of a grid and a button of a row are named after their
// row and column ("Zapisz: Czas bramkowania [ms], Enkoder 1"); buttons that show only a picture also get the name
// as their tooltip. Names are built from the captions as they read now, so run it again after a language switch
// and after an encoder name (shown beside an indicator's caption) changes.
void applyAccessibleNames(QWidget *window);
