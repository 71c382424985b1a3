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

}  // namespace horalux::ui
