#include "configureport.h"

#include "commcontrol.h"
#include "startoptions.h"

void ConfigurePort(CommControl &control, const StatusView &view, Field portField, Field baudField)
{
    if (control.portOpen())
        control.setPortOpen(false);
    control.setCommPort(toInt16OrFail(view.caption(portField), "the port field"));
    control.setSettings(view.caption(baudField) + QStringLiteral(",N,8,1"));
    control.setSThreshold(1);
    control.setRThreshold(1);
    control.setRTSEnable(true);
    control.setHandshaking(CommControl::comNone);
    control.setInBufferSize(0);
    control.setInputLen(1);
    control.setInputMode(CommControl::comInputModeBinary);
    control.setPortOpen(true);
}
