#pragma once

#include <QIcon>
#include <QPixmap>

namespace horalux::ui {

// The program's own small pictures, drawn rather than shipped as files.
// A clock face with a seven-segment "8" beneath the hands.
QPixmap clockPicture(int size);
// Two arrows in a circle: refresh the port list.
QIcon refreshIcon();
// A plug: connect.
QIcon connectIcon();
// A padlock: a port whose line is encrypted. Drawn at 16 and 32 pixels, for a list and for a
// screen that doubles its pixels.
QIcon lockIcon();

}  // namespace horalux::ui
