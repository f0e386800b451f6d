// How long an update of the loaded image takes on the line: its exchanges
// as the target's worker makes them (serial/line_plan.h), on a plain wire
// and behind a USB serial adapter's latency timer. For the command line's
// word on a slow adapter, and for the page's.
#pragma once
#include "serial/line_plan.h"
#include "uploader/target_table.h"

// The exchanges of row's update of the image loaded now, from the first
// request of its worker to the last: the T62's fallback row, its erase
// units, each row written and read back, and its vector rows; the PSoC's
// blocks and its finish; the ZQ3's hand-over, its speed change, its records
// and its end, with the waits the protocol prescribes.
LinePlan TargetRunPlan(const TargetRow& row);

// The seconds that update takes behind an adapter whose latency timer is
// latencyMs (0: a plain wire, the line's own limit).
double TargetRunSeconds(const TargetRow& row, int latencyMs);
