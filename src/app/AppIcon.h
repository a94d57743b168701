#pragma once

#include <QIcon>

namespace brenwick::app {

// The program's icon in every size the desktop asks for, from the program itself: it needs no installed
// file and no SVG image plugin.
QIcon AppIcon();

} // namespace brenwick::app
