#include "serial/win32/CommCalls.h"

namespace brenwick::serial {

CommCalls& Comm() {
    static CommCalls calls;
    return calls;
}

} // namespace brenwick::serial
