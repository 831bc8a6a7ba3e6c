#pragma once

#include <QByteArray>

class CommControl;
class StatusBoard;

// The Request button: opens the Test port, sends the mode's request bytes (see requestBytes()),
// closes it again and reports in the Test state field. "Open Success" means every byte was handed
// on before the close.
void SendTestRequest(CommControl &testPort, StatusBoard &board, const QByteArray &request);
