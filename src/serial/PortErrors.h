#pragma once

#include <cstdint>
#include <string>

namespace brenwick::serial {

// The sentence a user needs for an error code of the serial layer (its own codes and errno values), for
// example when a port cannot be opened. The port classes keep the codes numeric; front ends show this.
std::string DescribePortError(int32_t code);

} // namespace brenwick::serial
