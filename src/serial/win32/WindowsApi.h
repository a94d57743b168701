#pragma once

// <windows.h> for the serial layer's Win32 backend. Windows defines as macros the names that the serial layer
// declares as constants of the same values (SerialTypes.h); they are undefined here so that the layer's own
// constants are the ones in force.
#include <windows.h>

#undef INFINITE
#undef ERROR_SUCCESS
#undef ERROR_INVALID_FUNCTION
#undef ERROR_INVALID_HANDLE
#undef ERROR_OPERATION_ABORTED
#undef ERROR_ALREADY_INITIALIZED
#undef ERROR_TIMEOUT
#undef E_INVALIDARG
#undef EV_RXCHAR
#undef EV_RXFLAG
#undef EV_TXEMPTY
#undef EV_CTS
#undef EV_DSR
#undef EV_RLSD
#undef EV_BREAK
#undef EV_ERR
#undef EV_RING
#undef CE_RXOVER
#undef CE_OVERRUN
#undef CE_RXPARITY
#undef CE_FRAME
#undef CE_BREAK
#undef CE_TXFULL
#undef CE_MODE

#include "serial/SerialTypes.h"
