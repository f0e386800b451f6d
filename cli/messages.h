// The command line's explanations beyond the dialogs' short texts: why a
// port did not open or stopped working, why a file did not load.
#pragma once
#include <cstdint>
#include <string>

#include "cli/output.h"

// What LastPortFault() says of port, as one line beginning with the port's
// name ("" when it holds nothing).
std::string PortFaultText(const std::string& port);

// Why a load of file ended with result (a HexLoadResult, or 0 for a file
// without data), beginning with the file's name; emptyMeaning says what "no
// data" means for this target, openError is errno as the load left it.
std::string LoadFailureText(int32_t result, const std::string& file, const char* emptyMeaning, int openError);

// A load that failed: the dialog's "File Error" and why, said and kept in
// report. Returns kExitFile.
int LoadFailed(int32_t result, const std::string& file, const char* emptyMeaning, int openError, CliReport* report);
