#pragma once

#include <QByteArray>

class CommControl;
class StatusView;

// The Request button: opens the Test port, sends a drawer kick (ESC p unless told otherwise),
// closes it again and reports in the Test state field. "Open Success" means every byte was handed
// on before the close.
void SendTestRequest(CommControl &testPort, StatusView &view,
                     const QByteArray &kick = QByteArray("\x1b\x70", 2));
