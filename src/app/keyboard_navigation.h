#pragma once

class QTabWidget;
class QWidget;

// Keyboard use of the main window:
// - Enter presses the focused push button, as Space does;
// - Ctrl+Tab / Ctrl+PgDn and Ctrl+Shift+Tab / Ctrl+PgUp show the next / previous page from any control (a list
//   would otherwise take them), passing over pages whose tab is hidden or disabled;
// - Tab goes through each page in reading order after the tab row; the language picker comes last.
// Run once the window is built and the picker has its place in the status bar.
void setUpKeyboard(QWidget *window, QTabWidget *pages);
