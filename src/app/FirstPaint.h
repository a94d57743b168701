#pragma once

namespace brenwick::app {

// With BRENWICK_REPORT_FIRST_PAINT=1 in the environment, the first call prints "first paint <ms>" to standard
// error, the milliseconds since the process started; later calls, and every call without it, do nothing.
// The start-up benchmark reads it.
void ReportFirstPaint();

} // namespace brenwick::app
