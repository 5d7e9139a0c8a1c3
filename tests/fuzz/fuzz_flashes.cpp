// Fuzzes the self-test flash reader with any sequence of lit and dark
// periods (including negative, zero, huge and not-a-number lengths): it must
// never crash, list only codes 1 to 999, and keep its digits printable.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "diagnostics/FlashDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quarn::FlashDecoder decoder;
    for (std::size_t at = 0; at + 2 * sizeof(float) <= size; at += 2 * sizeof(float)) {
        float on = 0, off = 0;
        std::memcpy(&on, data + at, sizeof on);
        std::memcpy(&off, data + at + sizeof on, sizeof off);
        const quarn::FlashDecoder::Step step = decoder.Cycle(on, off);
        if (step.listed && (step.code < 1 || step.code > quarn::FlashDecoder::kHighestListedCode))
            std::abort();
        if (step.digit && (*step.digit < '0' || *step.digit > '9')) std::abort();
        for (char d : decoder.Digits())
            if (d < '0' || d > '9') std::abort();
        if (step.testEnded) decoder.Reset();
    }
    return 0;
}
