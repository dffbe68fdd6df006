#pragma once
#include <cstdint>

// The results every operation of the player returns: a signed 32-bit status whose sign is what
// callers test. Positive is success (some operations say more with another positive value), 0 is
// nothing done, a time-out or cut short, negative is a failure.
constexpr int32_t RESULT_SUCCESS = 1;
constexpr int32_t RESULT_NOTHING_DONE = 0;
// A parameter table entry was added, or replaced.
constexpr int32_t RESULT_ADDED = 3;
constexpr int32_t RESULT_REPLACED = 5;
// General failure, wrong state, or the platform refused.
constexpr int32_t RESULT_FAILED = -1;
// Out of memory, or an object could not be made.
constexpr int32_t RESULT_OUT_OF_MEMORY = -2;
// The platform's decoders are missing (a Windows edition without its media features): only the files
// our own readers take can be opened.
constexpr int32_t RESULT_DECODER_UNAVAILABLE = -3;
// A missing or invalid argument: null pointer, zero size, non-positive rate, NaN.
constexpr int32_t RESULT_INVALID_ARGUMENT = -4;
// Size arithmetic would overflow.
constexpr int32_t RESULT_OVERFLOW = -5;
// No entry of that name.
constexpr int32_t RESULT_NAME_NOT_FOUND = -10;
// A count that is not a whole number of frames, or a type tag no conversion handles.
constexpr int32_t RESULT_NOT_WHOLE_FRAMES = -99;
// A value that cannot be converted.
constexpr int32_t RESULT_NOT_CONVERTIBLE = -100;
