// The texts a front end shows for the port: its label and the synchronous
// channel's open failures.
#pragma once
#include <cstddef>
#include <cstdint>

// The port line for a SerialOpen failure code: a fixed text, or
// "Comm error: %d" formatted into buffer for any other code.
const char* SerialOpenFailureText(int32_t code, char* buffer, size_t size);

// The main window's port label for COM<port>: "com:4", formatted into buffer.
const char* FormatPortLabel(int32_t port, char* buffer, size_t size);
