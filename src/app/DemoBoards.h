#pragma once

#include "app/DeviceFeed.h"
#include "devsim/DeviceSimOptions.h"

#include <QString>
#include <memory>
#include <vector>

namespace brenwick {
class CSimulatedDevice;
}

namespace brenwick::app {

// Demo mode's production bench: simulated boards inside the program on pseudo-terminals, plugged in one after
// another. They differ so that the view shows every stage: lines of different speeds, and every third board
// refuses a page.
class CDemoBoards {
  public:
    CDemoBoards();
    ~CDemoBoards();
    CDemoBoards(const CDemoBoards&) = delete;
    CDemoBoards& operator=(const CDemoBoards&) = delete;

    // Starts `count` boards; false with the reason in *error.
    bool Start(int count, QString* error);
    // A feed that plugs the boards in, a second apart; the boards must outlive it.
    std::unique_ptr<CDeviceFeed> MakeFeed() const;
    // Board k (from 1): serial number "SIM00000k", its line's speed and its fault.
    static DeviceSimOptions OptionsFor(int k);

  private:
    std::vector<std::unique_ptr<CSimulatedDevice>> m_Boards;
};

} // namespace brenwick::app
