#include "startup.h"

#include "commcontrol.h"
#include "configureport.h"
#include "logging.h"
#include "statustext.h"
#include "statusview.h"

StartOutcome StartUp(const QString &argumentText, StartOptions &options, StatusView &view,
                     CommControl &devicePort)
{
    // One failure action for every step; what failed decides whether trying again can help.
    const auto fail = [&view](StartOutcome outcome) {
        reportCurrentFailure(view, Field::DeviceState, StatusText::openFailed());
        return outcome;
    };
    try {
        options = StartOptions::fromArgumentText(argumentText);
        if (toDecimalOrFail(options.hideField, "the hide field") == 1)
            view.keepHidden();
    } catch (...) {
        return fail(StartOutcome::OptionsFailed);
    }
    try {
        view.setCaption(Field::DevicePort, QStringLiteral("9"));
        view.setCaption(Field::DeviceBaud, QStringLiteral("9600"));
        view.setCaption(Field::DeviceState, QString());
        view.setCaption(Field::TestPort, QStringLiteral("8"));
        view.setCaption(Field::TestBaud, QStringLiteral("9600"));
        view.setCaption(Field::TestState, QString());
        ConfigurePort(devicePort, view, Field::DevicePort, Field::DeviceBaud);
        view.setCaption(Field::DeviceState, StatusText::openSuccess());
        return StartOutcome::Opened;
    } catch (...) {
        return fail(StartOutcome::PortFailed);
    }
}

void ShutDown(CommControl &devicePort, CommControl &testPort)
{
    try {
        if (devicePort.portOpen())
            devicePort.setPortOpen(false);
        if (testPort.portOpen())
            testPort.setPortOpen(false);
    } catch (...) {
        // The unload goes on regardless.
        qCWarning(lcTralvo, "shutdown: %s", currentFailure().c_str());
    }
}
