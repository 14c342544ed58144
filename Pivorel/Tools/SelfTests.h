#pragma once

#include <iosfwd>

namespace pivorel {

// pivorel --bar-selftest: drives the selection detector, the coordinator, the real bar and
// panel windows and a throw-away history database, and checks what the X server shows:
// one "PASS"/"FAIL" line per check and a closing "bar-selftest: ALL PASS" (status 0) or the
// number of failures (status 1).
int runBarSelftest(int argc, char** argv, std::ostream& out);

// pivorel --panel-selftest: opens the panel for a fixed selection and reports its window.
// Status 0 when exactly one window of the program is on screen, kept above the others.
int runPanelSelftest(int argc, char** argv, std::ostream& out);

}  // namespace pivorel
