#pragma once

#include <QIcon>

// The program's icon at every size it is drawn in; shared by the windows of
// quillet and quillet-view and by the about box.
QIcon QuilletIcon();
