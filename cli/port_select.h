// Ports named by what a user reads on the adapter: serial=XXXX stands for
// the one adapter whose USB serial number is XXXX (`ridorez ports` shows
// them). Every other name is a port as serial_port.h resolves it.
#pragma once
#include <cstddef>
#include <string>

// The device of port as the command line opens it: for serial=XXXX the
// device of the adapter with that serial number (the name itself when there
// is not exactly one), else SerialPortDevice's.
void CliPortDevice(const char* port, char* device, size_t size);

// "" when port names a port to try; for serial=XXXX that no adapter has, or
// several have, why it names none.
std::string PortSelectorRefusal(const std::string& port);
