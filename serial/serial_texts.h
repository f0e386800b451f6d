// The texts a front end shows for the synchronous channel's open failures.
#pragma once
#include <cstddef>
#include <cstdint>

// The port line for a SerialOpen failure code: a fixed text, or
// "Comm error: %d" formatted into buffer for any other code.
const char* SerialOpenFailureText(int32_t code, char* buffer, size_t size);
