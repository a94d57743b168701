#pragma once

#include "panel/ScreenPlacement.h"
#include "panel/WindowPlacement.h"

#include <QList>
#include <QRect>
#include <QWidget>

namespace brenwick::app {

// Gives a window the placement's normal rectangle and show state (not yet shown: Show does that).
void ApplyPlacement(QWidget& window, const panel::WindowPlacement& placement, const QList<QRect>& screens);
// Shows the window in the placement's show state.
void ShowInPlacement(QWidget& window, const panel::WindowPlacement& placement);
// The window's placement now; the minimised and maximised positions are taken from `previous`, and the
// normal rectangle of a maximised or minimised window from `lastNormal` (its place when it was last normal).
panel::WindowPlacement CapturePlacement(const QWidget& window, const panel::WindowPlacement& previous,
                                        const QRect& lastNormal);

// The available areas of the screens present, the primary first.
QList<QRect> ScreenAreas();

} // namespace brenwick::app
