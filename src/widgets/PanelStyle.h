#pragma once
// The panels' common look: their colours and their fonts.
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

class QPalette;
class QWidget;

// The panels follow the desktop's colours: the panel, its labels, fields
// and buttons take the palette's window colour for their ground and its
// window text colour for their text (on the usual light palette a light
// grey ground with black text, on a dark one a dark ground with light
// text). They follow a change of the desktop's palette while they are shown.
void applyPanelColours(QWidget* panel);

// Whether a palette is a dark one (light text on a dark window).
bool isDarkPalette(const QPalette& palette);

// The grey of the frame's areas around the meter face and the graph: on a
// light palette the program's own RGB(217, 218, 212), on a dark one the
// palette's window colour.
inline const QColor kLightFrameGrey {217, 218, 212};
QColor frameGrey(const QPalette& palette);

// The texts a graph writes on its chrome (axis values, times, legend,
// read-out): on a light palette the program's own black on opaque white
// cells (the times on the button face), on a dark one the palette's window
// text straight on its window colour.
QColor chromeInk(const QPalette& palette);
QColor chromeCell(const QPalette& palette);
QColor chromeTimeCell(const QPalette& palette);
