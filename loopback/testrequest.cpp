#include "testrequest.h"

#include "commcontrol.h"
#include "configureport.h"
#include "logging.h"
#include "statusboard.h"
#include "statustext.h"

void SendTestRequest(CommControl &testPort, StatusBoard &board, const QByteArray &request)
{
    try {
        ConfigurePort(testPort, board, Field::TestPort, Field::TestBaud);
        testPort.setOutput(request);
        testPort.setPortOpen(false);
        board.setText(Field::TestState, StatusText::openSuccess());
    } catch (...) {
        reportCurrentFailure(board, Field::TestState, StatusText::openFailed());
        // A failed request must not keep the Test port from other programs until the next one.
        try {
            if (testPort.portOpen())
                testPort.setPortOpen(false);
        } catch (...) {
            qCWarning(lcTralvo, "Test: closing the port failed: %s", currentFailure().c_str());
        }
    }
}
