#pragma once
// Panels and the Run dialog never close or trigger a default button on
// Enter or Escape: those key presses are swallowed before any widget sees them.
class QWidget;

// Installs the filter on root and every widget below it.
void swallowEnterAndEscape(QWidget* root);
