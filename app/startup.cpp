#include "startup.h"

#include "commcontrol.h"
#include "configureport.h"
#include "logging.h"
#include "statustext.h"
#include "statusview.h"

StartOutcome StartUp(const QString &argumentText, StartOptions &options, StatusView &view,
                     CommControl &mscomm1)
{
    // One failure action for every step; what failed decides whether trying again can help.
    const auto fail = [&view](StartOutcome outcome) {
        qCWarning(lcTralvo, "Device: %s", currentFailure().c_str());
        view.setCaption(Field::Label8, StatusText::openFailed());
        return outcome;
    };
    try {
        options = StartOptions::fromArgumentText(argumentText);
        if (toDecimalOrFail(options.hideField, "the hide field") == 1)
            view.setInvisible();
    } catch (...) {
        return fail(StartOutcome::OptionsFailed);
    }
    try {
        view.setCaption(Field::Label6, QStringLiteral("9"));
        view.setCaption(Field::Label7, QStringLiteral("9600"));
        view.setCaption(Field::Label8, QString());
        view.setCaption(Field::Label9, QStringLiteral("8"));
        view.setCaption(Field::Label4, QStringLiteral("9600"));
        view.setCaption(Field::Label3, QString());
        ConfigurePort(mscomm1, view, Field::Label6, Field::Label7);
        view.setCaption(Field::Label8, StatusText::openSuccess());
        return StartOutcome::Opened;
    } catch (...) {
        return fail(StartOutcome::PortFailed);
    }
}

void ShutDown(CommControl &mscomm1, CommControl &mscomm2)
{
    try {
        if (mscomm1.portOpen())
            mscomm1.setPortOpen(false);
        if (mscomm2.portOpen())
            mscomm2.setPortOpen(false);
    } catch (...) {
        // The unload goes on regardless.
        qCWarning(lcTralvo, "shutdown: %s", currentFailure().c_str());
    }
}
