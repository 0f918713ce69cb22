// The main window's always-on-top switch, one for the process: the panes'
// menus toggle it and show it with a check mark. UI thread.
#pragma once

class QWidget;

bool AlwaysOnTop();
// Toggles the switch and applies it to |anyWidget|'s top-level window.
void ToggleAlwaysOnTop(QWidget* anyWidget);
