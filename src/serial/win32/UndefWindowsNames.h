// No include guard: this runs each time it is included.
// <windows.h> defines as macros names that the serial layer declares as constants of the same values
// (SerialTypes.h). Undefining them lets the layer's own constants be declared and named, in whichever order
// the headers come.
#undef INFINITE
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
