#pragma once
#include <QIcon>

// The toolbar's image list: index 0 open, 1 step, 2 run, 3 pause, 4 resume, 5 stop. Each
// icon is painted in code at 16 and 32 pixels, so it stays sharp at 1x and 2x.
constexpr int ToolbarImageCount = 6;
QIcon ToolbarImage(int index);
