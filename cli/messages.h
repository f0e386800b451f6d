// The command line's explanations beyond the dialogs' short texts: why a
// port did not open or stopped working, why a file did not load.
#pragma once
#include <cstdint>
#include <string>

// What LastPortFault() says of port, as one line ("" when it holds nothing).
std::string PortFaultText(const std::string& port);

// Why a load of file ended with result (a HexLoadResult, or 0 for a file
// without data); emptyMeaning says what "no data" means for this target,
// openError is errno as the load left it.
std::string LoadFailureText(int32_t result, const std::string& file, const char* emptyMeaning, int openError);
