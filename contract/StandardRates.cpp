#include "StandardRates.h"

namespace ZORVA {

const unsigned int StandardRates[StandardRateCount] = {2000, 1800, 1500, 1200, 1000, 900, 800, 600, 500, 450, 400, 360,
                                                       300,  250,  240,  225,  200,  180, 150, 125, 120, 100, 90,  80,
                                                       75,   60,   50,   45,   40,   30,  25,  20,  15,  10};

} // namespace ZORVA
