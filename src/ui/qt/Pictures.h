#pragma once

#include <QIcon>
#include <QPixmap>

namespace quoril {

// The player's pictures, by their resource number: 128 the application, 133 stop, 134 volume up,
// 135 volume down, 136 pause, 137 play, 138 next track, 139 previous track, 140 forward, 141 back,
// 148 file open. They are drawn from our SVG files in the resource bundle.
// Called on the window thread (after the QApplication exists).

// True for the numbers listed above.
bool hasPicture(int number);
// The picture rendered at a square size; a null pixmap for an unknown number.
QPixmap picturePixmap(int number, int size);
// An icon holding the picture at the usual sizes; a null icon for an unknown number.
QIcon pictureIcon(int number);

}  // namespace quoril
