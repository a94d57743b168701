#pragma once

#include "document/DocSnapshot.h"

#include <array>
#include <cstdint>
#include <string>

namespace brenwick {

// What the front ends tell the operator about a run that did not succeed and a device that does not answer,
// in the same words in the window and on the command line.

// A product ID as the four bytes in the order the device sends them: "5A FF A5 00".
std::string ProductIdText(const std::array<uint8_t, 4>& id);

// A revision the device reports in hundredths, as the panel shows it: 125 as "1.25", 100 as "1".
std::string RevisionText(uint16_t hundredths);

// Why the last run did not succeed, from the snapshot taken after it: "page 5 refused by the device", "no
// answer to page 3 within 0.5 s", "the device went away (the line was hung up) at page 7", ... Empty after a
// run that succeeded or was never made. The file's name, where a sentence needs one, is `file`.
std::string RunFailureText(const DocSnapshot& s, const std::string& file);

// Why a device on an open port has not been identified: which request it left unanswered.
std::string NoAnswerText(const DocSnapshot& s);

} // namespace brenwick
