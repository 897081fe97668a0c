#pragma once
// The panels' common look: their background and their fonts.
//
// Fonts are asked for the way the panels describe them: a family name, a height
// (positive: the cell height in pixels, negative: the character height), an
// average character width (0: the face's own) and a weight on the 100..900
// scale. The width narrows or widens the face with a stretch factor.
#include <QColor>
#include <QFont>
#include <QString>

QFont panelFont(const QString& family, int height, int averageWidth, int weight, bool italic = false);

// The panels' face names resolve to a metric-compatible face when the named
// one is missing; a second family keeps the look close ("Arial" for
// "Arial Black" and the like).
QFont panelFont(const QStringList& families, int height, int averageWidth, int weight, bool italic = false);

class QWidget;
// Black text on the panel's own background, for the panel and its controls.
void applyPanelColours(QWidget* panel, const QColor& background);
