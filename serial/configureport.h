#pragma once

#include "statusview.h"

class CommControl;

// Closes the control if open, applies the fixed set-up with the port number and baud rate read
// back from the two fields, and opens the port last. Throws at the first failing step.
void ConfigurePort(CommControl &control, const StatusView &view, Field portField, Field baudField);
