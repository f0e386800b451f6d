#include "cli/stop_rule.h"

StopStep StopCheck(StopRule* rule, int interrupts, const char* request) {
    StopStep step;
    step.stopping = interrupts > 0 || request != nullptr;
    step.abandon = interrupts >= 2 || (step.stopping && !rule->updating);
    if (request != nullptr && rule->updating && !rule->toldRequest) {
        rule->toldRequest = 1;
        step.tellRequest = request;
    }
    if (interrupts > 0 && !step.abandon && !rule->toldInterrupt) {
        rule->toldInterrupt = 1;
        step.explainInterrupt = 1;
    }
    return step;
}
