#include "configureport.h"

#include "commcontrol.h"
#include "decimal.h"

void ConfigurePort(CommControl &control, const StatusBoard &board, Field portField, Field baudField)
{
    if (control.portOpen())
        control.setPortOpen(false);
    control.setCommPort(toInt16OrFail(board.text(portField), "the port field"));
    control.setSettings(board.text(baudField) + QStringLiteral(",N,8,1"));
    control.setPortOpen(true);
}
