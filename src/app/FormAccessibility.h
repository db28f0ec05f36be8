#pragma once

// What a screen reader finds in the main window: Form1 is a window (its title
// is announced on focus), S1 is a status bar of three labels, and pictures
// that are only decoration or never shown are left out of the tree, so
// reading the window gives exactly what a user can see and use.

class QWidget;

namespace FormAccessibility {

// Marks a child of the window as not for the accessible tree.
void setHidden(QWidget *widget);
// Installs the accessible interfaces once per process; call before the window exists.
void install();

} // namespace FormAccessibility
