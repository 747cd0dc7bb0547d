#pragma once
// Captures in bulk: a list of pages, several at a time, with a report and
// a share of the list per machine.

#include "tools/batch_list.h"
#include "tools/capture_command.h"

namespace snapkit::tools {

struct TCaptureResult;

// Says on standard error that R's full-page capture was cut, and to what.
void ReportClipped(const TCaptureResult& R);

// Checks every line of the options' list, reports the bad ones and captures
// the rest; returns ceOk when all were written, ceFailed when some were not
// (or were bad), ceUsage when two lines name one file. Raises
// TCaptureFailure when the list, the folder or the report cannot be used.
int CaptureBatch(const TCaptureOptions& Options);

}  // namespace snapkit::tools
