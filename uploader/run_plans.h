// Each target's exchanges on the line in an update of the image loaded now
// (its row's runPlan), as its worker makes them, from the worker's first
// request to its last, with the waits the protocol prescribes: what
// TargetRunSeconds (uploader/target_table.h) times on a plain wire and
// behind a USB serial adapter's latency timer.
#pragma once
#include "serial/line_plan.h"

void T62RunPlan(LinePlan* plan);   // the fallback row, the erase units, each row written and read back, the vectors
void PsocRunPlan(LinePlan* plan);  // the 216 blocks and the finish
void Zq3RunPlan(LinePlan* plan);   // the hand-over, the speed change, the records and the end
