#pragma once

class QDialog;
class QWidget;

// The fixed tool-window frame of the shell's small windows: title bar with a
// close box only, not resizable, kept out of the task bar, centred over the owner.
void PrepareToolWindow(QDialog *window, QWidget *owner, int width, int height);
