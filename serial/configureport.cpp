#include "configureport.h"

#include "commcontrol.h"
#include "decimal.h"

void ConfigurePort(CommControl &control, const StatusBoard &board, Field portField, Field baudField)
{
    if (control.portOpen())
        control.setPortOpen(false);
    control.setCommPort(toInt16OrFail(board.text(portField), "the port field"));
    control.setSettings(board.text(baudField) + QStringLiteral(",N,8,1"));
    // A receive event as soon as one byte waits; the receiver reads as much as its mode takes.
    control.setRThreshold(1);
    control.setRTSEnable(true);
    control.setInBufferSize(0);
    control.setPortOpen(true);
}
