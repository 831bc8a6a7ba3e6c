#include "testrequest.h"

#include "commcontrol.h"
#include "configureport.h"
#include "logging.h"
#include "statustext.h"
#include "statusview.h"

void SendTestRequest(CommControl &mscomm2, StatusView &view)
{
    try {
        ConfigurePort(mscomm2, view, Field::Label9, Field::Label4);
        mscomm2.setOutput(QByteArray("\x1b\x70", 2));
        mscomm2.setPortOpen(false);
        view.setCaption(Field::Label3, StatusText::openSuccess());
    } catch (...) {
        qCWarning(lcTralvo, "Test: %s", currentFailure().c_str());
        // A failed request must not keep the Test port from other programs until the next one.
        try {
            if (mscomm2.portOpen())
                mscomm2.setPortOpen(false);
        } catch (...) {
            qCWarning(lcTralvo, "Test: closing the port failed: %s", currentFailure().c_str());
        }
        view.setCaption(Field::Label3, StatusText::openFailed());
    }
}
