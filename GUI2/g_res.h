// The program's images by resource id. Each program that uses the wizard framework
// supplies these (the wizard draws its own).
#pragma once

#include <QIcon>
#include <QPixmap>

// A null pixmap or icon when the program has none of that id.
QPixmap resource_bitmap(int id);
QIcon resource_icon(unsigned id);
