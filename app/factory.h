#pragma once

#include "printer.h"
#include "printlistener.h"
#include "runconfig.h"

#include <memory>

// The objects a run's configuration names: the kind of printer its address is, and the print
// port, if it has them (null otherwise).
std::unique_ptr<Printer> makePrinter(const RunConfig &run);
std::unique_ptr<PrintListener> makePrintListener(const RunConfig &run);
