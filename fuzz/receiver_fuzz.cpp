// Random byte streams into the receiver: reassembly and the reply table must never crash or read and write
// outside their buffers, whatever the device sends.
#include "protocol/DeviceRecord.h"
#include "protocol/MessageAssembler.h"

#include <cstddef>
#include <cstdint>

using namespace brenwick;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CMessageAssembler assembler;
    static CDeviceRecord record;
    assembler.Reset(); // as every Connect leaves it
    for (size_t i = 0; i < size; ++i) {
        if (!assembler.Take(data[i])) {
            continue;
        }
        const ReplyEffect effect = record.Apply(assembler.Message(), assembler.Length());
        const auto state = static_cast<int32_t>(effect.linkState.value_or(LinkState::Connected));
        if (state < 0 || state > static_cast<int32_t>(LinkState::ProgrammingError) ||
            assembler.Length() < 2 || assembler.Length() > protocol::kRxBufferSize) {
            __builtin_trap();
        }
    }
    (void)record.Info();
    return 0;
}
