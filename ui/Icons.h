#pragma once

#include <QIcon>
#include <QPixmap>

// The program's own pictures: 32x32 pixels in the classic 16-colour palette, kept as SVG files in the
// resource system and drawn pixel for pixel, so that they stay crisp at their native size and scale without
// blurring.
namespace ostrel::ui {

// A computer monitor joined by a cable to a yellow folder.
QIcon mainWindowIcon();
// A written page with a pen across it.
QIcon editorIcon();
// A globe.
QIcon viewerIcon();
// A closed padlock.
QPixmap padlockClosedPicture();
// A padlock with its shackle open.
QPixmap padlockOpenPicture();

}  // namespace ostrel::ui
