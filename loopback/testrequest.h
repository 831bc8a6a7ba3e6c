#pragma once

class CommControl;
class StatusView;

// The Request button: opens the Test port, sends ESC p, closes it again and reports in the Test
// state field. "Open Success" means both bytes were handed on before the close.
void SendTestRequest(CommControl &testPort, StatusView &view);
