#pragma once

#include "app/DeviceFeed.h"
#include "devsim/DeviceSimOptions.h"

#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>
#include <vector>

namespace brenwick {
class CSimulatedDevice;
}

namespace brenwick::app {

// Demo mode's production bench: simulated boards inside the program on pseudo-terminals, plugged in one after
// another as links appear in a folder of their own, which the device watcher watches as it watches
// /dev/serial/by-id. They differ so that the view shows every stage: lines of different speeds, and every
// third board refuses a page.
class CDemoBoards {
  public:
    CDemoBoards();
    ~CDemoBoards();
    CDemoBoards(const CDemoBoards&) = delete;
    CDemoBoards& operator=(const CDemoBoards&) = delete;

    // Starts `count` boards and plugs them in, a second apart; false with the reason in *error.
    bool Start(int count, QString* error);
    // A feed of the boards plugged in.
    std::unique_ptr<CDeviceFeed> MakeFeed() const;
    const QString& Folder() const { return m_FolderPath; }
    // Board k (from 1): serial number "SIM00000k", its line's speed and its fault.
    static DeviceSimOptions OptionsFor(int k);

  private:
    void PlugNext();

    QTemporaryDir m_Folder;
    QString m_FolderPath;
    std::vector<std::unique_ptr<CSimulatedDevice>> m_Boards;
    size_t m_Plugged = 0;
    QTimer m_Plug;
};

} // namespace brenwick::app
