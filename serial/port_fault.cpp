#include "serial/port_fault.h"

#include <cstdio>

namespace {
PortFault fault;
}  // namespace

void ClearPortFault() { fault = PortFault(); }

void SetPortFault(int32_t problem, const char* detail) {
    fault.problem = problem;
    std::snprintf(fault.detail, sizeof fault.detail, "%s", detail ? detail : "");
}

const PortFault& LastPortFault() { return fault; }
