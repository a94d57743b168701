#include "protocol/MessageFrame.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>
#include <vector>

using namespace brenwick;

namespace {

struct BuildCase {
    const char* name;
    std::vector<uint8_t> expected;
    std::function<int(uint8_t*)> build;
};
void PrintTo(const BuildCase& c, std::ostream* os) {
    *os << c.name; // test listings show the case, not its bytes
}

class FrameBuild : public ::testing::TestWithParam<BuildCase> {};

TEST_P(FrameBuild, BytesOnTheLine) {
    uint8_t buffer[16] = {};
    const int length = GetParam().build(buffer);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + length), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, FrameBuild,
    ::testing::Values(
        BuildCase{"status request",
                  {0x04, 0x20, 0x05, 0x00},
                  [](uint8_t* b) { return frame::BuildRequest(b, ControlItemCode::Status); }},
        BuildCase{"flash revision request",
                  {0x05, 0x20, 0x04, 0x00, 0x01},
                  [](uint8_t* b) { return frame::BuildRequest(b, ControlItemCode::Revision, 1); }},
        BuildCase{"geometry request",
                  {0x05, 0x20, 0x02, 0x03, 0x00},
                  [](uint8_t* b) { return frame::BuildRequest(b, ControlItemCode::FlashGeometry, 0); }},
        BuildCase{"prepare",
                  {0x0A, 0x00, 0x00, 0x03, 0x00, 0x00, 0x5A, 0xFF, 0xA5, 0x00},
                  [](uint8_t* b) {
                      return frame::BuildProgramControl(b, ProgramPhase::Prepare,
                                                        protocol::kDefaultProductId);
                  }},
        BuildCase{"end",
                  {0x0A, 0x00, 0x00, 0x03, 0x00, 0x02, 0x01, 0x02, 0x03, 0x04},
                  [](uint8_t* b) { return frame::BuildProgramControl(b, ProgramPhase::End, 0x04030201); }},
        BuildCase{"sam7 first page",
                  {0x06, 0x81, 0x00, 0x40, 0x10, 0x00},
                  [](uint8_t* b) {
                      frame::BuildDataItemHeader(b, 256, 0x104000);
                      EXPECT_EQ(frame::SendLength(b), 262);
                      return 6;
                  }},
        BuildCase{"cortex first page",
                  {0x06, 0x81, 0x00, 0x40, 0x00, 0x00},
                  [](uint8_t* b) {
                      frame::BuildDataItemHeader(b, 256, 0x4000);
                      return 6;
                  }}),
    CaseName<BuildCase>);

TEST(BaudTable, IndexSelectsTheNextEntry) {
    EXPECT_EQ(protocol::BaudRateForIndex(0), 1200);
    EXPECT_EQ(protocol::BaudRateForIndex(9), 115200);
    EXPECT_EQ(protocol::BaudRateForIndex(12), 256000);
    EXPECT_EQ(protocol::BaudRateForIndex(13), 0);
    EXPECT_EQ(protocol::BaudRateForIndex(-1), 0);
    EXPECT_EQ(protocol::BaudIndexForRate(14400), 4);
    EXPECT_EQ(protocol::BaudIndexForRate(115201), -1);
}

} // namespace
