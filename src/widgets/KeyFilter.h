#pragma once
// Panels and the Run dialog never close or trigger a default button on
// Enter or Escape: those key presses are swallowed before any widget sees them.
class QWidget;

// Installs the filter on root and every widget below it.
void swallowEnterAndEscape(QWidget* root);

class QKeyEvent;
// For panels whose own children must see Enter first (an edit that commits
// on Enter): called from the panel's keyPressEvent, it consumes Enter and
// Escape that reach the panel and returns true for them.
bool consumeEnterOrEscape(QKeyEvent* event);
