#pragma once

class QWidget;

// The menu commands that open the shell's windows. Each creates its window,
// shows it modally over the owner and destroys it when it closes.
void ShowSupport(QWidget *owner);
void ShowFeedback(QWidget *owner);
void ShowAbout(QWidget *owner);
