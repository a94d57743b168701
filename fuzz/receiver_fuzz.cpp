// Random byte streams into the document's receiver: reassembly and the reply handlers must never crash or
// read and write outside their buffers, whatever the device sends.
#include "protocol/BrenwickDoc.h"
#include "support/DocAccess.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CBrenwickDoc doc;
    doc.m_RxState = 0; // as every Connect leaves it
    for (size_t i = 0; i < size; ++i) {
        CDocAccess::FeedByte(doc, data[i]);
    }
    const auto state = static_cast<int32_t>(doc.m_LinkState.load());
    if (state < 0 || state > static_cast<int32_t>(LinkState::ProgrammingError)) {
        __builtin_trap();
    }
    (void)doc.TargetName();
    return 0;
}
