#pragma once
#include <QIcon>

// The program's icon (window, about box) and the stop entry's bitmap, drawn in code so that
// they are sharp at 1x and 2x.
QIcon ProgramIcon();
QIcon StopBitmap();
