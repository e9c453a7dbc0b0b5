#include "QelTypes.h"

float ConvertPressure(EPressureUnits unit, uint16_t code)
{
    // The factors are applied in extended precision to the float32 pascals and the result
    // is narrowed once, so the shown digits match those of the instrument's software.
    const float pa = float(code) * 10.0f;
    long double factor;
    switch (unit) {
    case puATM:
        factor = 9.8692327e-6L;
        break;
    case puKgCm2:
        factor = 1.0197162129779e-5L;
        break;
    case puMmRtSt:
        factor = 0.0075006168282261L;
        break;
    case puKPa:
    default:
        factor = 0.001L;
        break;
    }
    return float(static_cast<long double>(pa) * factor);
}
