#pragma once

// What assistive technology is told about controls whose stock description falls short:
// - a lamp: a label named by its caption, lit or not as its checked state and its description;
// - a tab row: a tab hidden from the row is reported as not showing (and cannot be pressed);
// - a pick-only list (where the platform's stock interface names a list after its current item): the name the
//   program gave it, so that a list in a grid says which setting it is; its item stays its value.
// Installed once per process; later calls do nothing.
void installAccessibleInterfaces();
