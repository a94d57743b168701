#pragma once

#include "devsim/SimulatedDevice.h"
#include "document/HeadlessLink.h"
#include "support/WaitUntil.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace brenwick {

// A document wired the way a front end wires it: port notifications go through an event loop of their own
// to OnPortEvent, and the port names a simulated device.
class CLinkRig {
  public:
    explicit CLinkRig(DeviceSimOptions options = {}, int baudIndex = 10) : m_Device(std::move(options)) {
        std::string error;
        m_Started = m_Device.Start(&error);
        EXPECT_TRUE(m_Started) << error;
        m_Doc.SetPortSettings(m_Device.PortPath(), baudIndex);
    }
    CLinkRig(const CLinkRig&) = delete;
    CLinkRig& operator=(const CLinkRig&) = delete;

    // Goes on line through the worker and waits for the device to be identified.
    bool GoOnLine(int timeoutMs = 5000) {
        m_Doc.StartWorker();
        m_Doc.PostCommand(WorkerCommand::Connect);
        return WaitUntil([this] { return m_Doc.Snapshot().linkState == LinkState::Connected; }, timeoutMs);
    }

    CSimulatedDevice m_Device;
    CHeadlessLink m_Link; // goes before the device: the worker stops and the port closes first
    CBrenwickDoc& m_Doc = m_Link.Doc();
    bool m_Started = false;
};

} // namespace brenwick
