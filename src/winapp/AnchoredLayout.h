#pragma once

#include "panel/AnchorMath.h"

#include <vector>
#include <windows.h>

namespace brenwick::winapp {

// The controls of a form made from a dialog template, each anchored to points of the form: their margins are
// taken at the design size and kept as the form grows. A form smaller than its design keeps the design's
// layout.
class CAnchoredLayout {
  public:
    // Takes the control's margins where it stands now, in a form of the design size `design`.
    void Anchor(HWND form, int id, SIZE design, panel::Anchor first, panel::Anchor second);
    // Moves every anchored control to its place in the form's client area as it is now.
    void Reposition(HWND form, SIZE design) const;

  private:
    struct Control {
        int id;
        panel::AnchorPlacement placement;
    };
    std::vector<Control> m_Controls;
};

// A child window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND parent, HWND child);

} // namespace brenwick::winapp
