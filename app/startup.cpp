#include "startup.h"

#include "commcontrol.h"
#include "configureport.h"
#include "decimal.h"
#include "logging.h"
#include "statusboard.h"
#include "statustext.h"

StartOutcome StartUp(const QString &argumentText, StartOptions &options, StatusBoard &board,
                     CommControl &devicePort)
{
    // One failure action for every step; what failed decides whether trying again can help.
    const auto fail = [&board](StartOutcome outcome) {
        reportCurrentFailure(board, Field::DeviceState, StatusText::openFailed());
        return outcome;
    };
    try {
        options = StartOptions::fromArgumentText(argumentText);
        if (toDecimalOrFail(options.hideField, "the hide field") == 1)
            board.keepHidden();
    } catch (...) {
        return fail(StartOutcome::OptionsFailed);
    }
    try {
        board.setText(Field::DevicePort, QStringLiteral("9"));
        board.setText(Field::DeviceBaud, QStringLiteral("9600"));
        board.setText(Field::DeviceState, QString());
        board.setText(Field::TestPort, QStringLiteral("8"));
        board.setText(Field::TestBaud, QStringLiteral("9600"));
        board.setText(Field::TestState, QString());
        ConfigurePort(devicePort, board, Field::DevicePort, Field::DeviceBaud);
        board.setText(Field::DeviceState, StatusText::openSuccess());
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
