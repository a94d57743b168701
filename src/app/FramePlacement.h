#pragma once

#include "app/WindowPlacement.h"

#include <QList>
#include <QRect>
#include <QWidget>

namespace brenwick::app {

// A window rectangle moved (and shrunk, if need be) onto the first screen when no screen shows enough of
// it to be grabbed; unchanged otherwise. `screens`: the screens' available areas, the primary first.
QRect PullOntoScreens(const QRect& window, const QList<QRect>& screens);

// Gives a window the placement's normal rectangle and show state (not yet shown: Show does that).
void ApplyPlacement(QWidget& window, const WindowPlacement& placement, const QList<QRect>& screens);
// Shows the window in the placement's show state.
void ShowInPlacement(QWidget& window, const WindowPlacement& placement);
// The window's placement now; the minimised and maximised positions are taken from `previous`, and the
// normal rectangle of a maximised or minimised window from `lastNormal` (its place when it was last normal).
WindowPlacement CapturePlacement(const QWidget& window, const WindowPlacement& previous,
                                 const QRect& lastNormal);

// The available areas of the screens present, the primary first.
QList<QRect> ScreenAreas();

} // namespace brenwick::app
