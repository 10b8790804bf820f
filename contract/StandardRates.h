/// The acquisition rates the plugin knows: the SampleRate setting offers them
/// as decimal texts, and detection starts from them before each product type
/// takes away what it cannot run at.
#pragma once

namespace ZORVA {

/// Datasets per second, descending.
const unsigned int StandardRateCount = 34;
extern const unsigned int StandardRates[StandardRateCount];

} // namespace ZORVA
