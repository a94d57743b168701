#pragma once

#include "devsim/DeviceFrame.h"
#include "devsim/DeviceSimOptions.h"
#include "devsim/StampCheck.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace brenwick {

namespace devsim {

// What the boot loader does about one message from the host.
struct DeviceAnswer {
    std::vector<uint8_t> reply; // empty: no answer
    bool hangUp = false;        // close the line instead of answering
    bool finished = false;      // an End was handled: the verdict is in Status()
    bool began = false;         // a Begin was handled: a programming run has opened
    std::string note;           // for the log: what happened beyond the reply, if anything
};

// The boot loader itself, without any line: answers the identification requests from its options, and runs
// programming sessions (Prepare erases, Begin opens, DataItem pages write, End verifies the stamp) on its
// flash. Not thread-safe; the simulated device serialises the calls.
class CBootLoader {
  public:
    explicit CBootLoader(const DeviceSimOptions& options);

    DeviceAnswer Handle(std::span<const uint8_t> message);
    void SetNakPage(int page) { m_Options.nakPage = page; }

    const std::vector<uint8_t>& Flash() const { return m_Flash; }
    uint8_t Status() const { return m_Status; }
    int PagesReceived() const { return m_Pages; } // DataItems since the last Prepare or Begin

    // Maps a DataItem's target address onto a flash offset: flash lies at 0x100000 for the ARM7 family and at
    // 0 for the Cortex-M family.
    static uint64_t FlashOffset(uint32_t address);

  private:
    DeviceAnswer OnRequest(std::span<const uint8_t> message);
    DeviceAnswer OnControl(std::span<const uint8_t> message);
    DeviceAnswer OnData(std::span<const uint8_t> message);
    DeviceAnswer EndSession();

    // Reply payload builders, one per item code; param is byte 4 of the request (0 when absent).
    void TargetNamePayload(std::vector<uint8_t>& out, uint8_t param) const;
    void SerialNumberPayload(std::vector<uint8_t>& out, uint8_t param) const;
    void AuxWordPayload(std::vector<uint8_t>& out, uint8_t param) const;
    void RevisionPayload(std::vector<uint8_t>& out, uint8_t param) const;
    void StatusPayload(std::vector<uint8_t>& out, uint8_t param) const;
    void ProductIdPayload(std::vector<uint8_t>& out, uint8_t param) const;
    void FlashGeometryPayload(std::vector<uint8_t>& out, uint8_t param) const;

    struct ReplyBuilder {
        uint16_t code;
        void (CBootLoader::*build)(std::vector<uint8_t>&, uint8_t) const;
    };
    static const ReplyBuilder kReplyTable[];

    DeviceSimOptions m_Options;
    std::vector<uint8_t> m_Flash;
    uint8_t m_Status = status::Ready;
    int m_Pages = 0;
    int m_PageErrors = 0;
    StampVerdict m_Verdict;
};

} // namespace devsim

} // namespace brenwick
