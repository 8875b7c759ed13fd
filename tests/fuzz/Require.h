#pragma once

#include <cstdlib>

// Stops the fuzzer, which then keeps the input, when a promise does not hold.
inline void Require(bool condition)
{
    if (!condition)
        std::abort();
}
