#pragma once
// The image view's own mouse cursors, drawn at run time.

#include <QCursor>

QCursor PanCursor();            // an open hand: the picture can be dragged
QCursor GrabCursor();           // a closed hand: the picture is being dragged
QCursor CreateSelectionCursor();  // a cross with a small frame
QCursor MoveSelectionCursor();  // four arrows
