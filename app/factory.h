#pragma once

#include "printer.h"
#include "printlistener.h"
#include "runconfig.h"
#include "webdoor.h"

#include <memory>

class StatusBoard;

// The objects a run's configuration names: the kind of printer its address is, the print port
// and the web door, if it has them (null otherwise).
std::unique_ptr<Printer> makePrinter(const RunConfig &run);
std::unique_ptr<PrintListener> makePrintListener(const RunConfig &run);
// board: where the door reads the printer's state.
std::unique_ptr<WebDoor> makeWebDoor(const RunConfig &run, const StatusBoard &board);
