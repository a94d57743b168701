#pragma once

namespace brenwick::widgets {

// Makes the status bar and the clock readable by assistive technology: the status bar's text is its name,
// its lamp in words its description, and its progress a value while it shows one; the clock's name is the
// time it shows. Each control calls this when it is created; the interfaces are installed once.
void RegisterPanelAccessibility();

} // namespace brenwick::widgets
