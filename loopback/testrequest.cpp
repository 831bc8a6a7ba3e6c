#include "testrequest.h"

#include "commcontrol.h"
#include "configureport.h"
#include "logging.h"
#include "statustext.h"
#include "statusview.h"

void SendTestRequest(CommControl &testPort, StatusView &view, const QByteArray &kick)
{
    try {
        ConfigurePort(testPort, view, Field::TestPort, Field::TestBaud);
        testPort.setOutput(kick);
        testPort.setPortOpen(false);
        view.setCaption(Field::TestState, StatusText::openSuccess());
    } catch (...) {
        reportCurrentFailure(view, Field::TestState, StatusText::openFailed());
        // A failed request must not keep the Test port from other programs until the next one.
        try {
            if (testPort.portOpen())
                testPort.setPortOpen(false);
        } catch (...) {
            qCWarning(lcTralvo, "Test: closing the port failed: %s", currentFailure().c_str());
        }
    }
}
