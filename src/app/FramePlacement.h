#pragma once

#include "panel/WindowPlacement.h"

#include <QList>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <optional>

namespace brenwick::app {

// A window's edges as the placement stores them (right and bottom just outside the window), held wide enough
// that their differences cannot overflow whatever the stored numbers are.
struct WindowEdges {
    int64_t left = 0;
    int64_t top = 0;
    int64_t right = 0;
    int64_t bottom = 0;
};

// Where a window with the stored edges goes; `screens`: the screens' available areas, the primary first.
// Nothing when the edges make no rectangle (no positive width or height): the window keeps its default
// place. Otherwise the window lands on the screen it overlaps most (else the first) and is never larger than
// that screen: a side cut to the screen's puts the window across the whole screen that way. It stays where
// it is while some screen shows its title-bar strip (its top 24 pixels, at least 64 of them wide), and is
// moved onto its screen otherwise. With no screens there is nothing to fit it to: the rectangle as stored,
// unless its size does not fit an int.
std::optional<QRect> PullOntoScreens(const WindowEdges& window, const QList<QRect>& screens);

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
