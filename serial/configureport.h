#pragma once

#include "statusboard.h"

class CommControl;

// Closes the control if open, applies the fixed set-up with the port number and baud rate read
// from the two fields' texts, and opens the port last. Throws at the first failing step.
void ConfigurePort(CommControl &control, const StatusBoard &board, Field portField,
                   Field baudField);
