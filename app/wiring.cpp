#include "wiring.h"

#include "jobintake.h"
#include "printer.h"
#include "printerturns.h"
#include "printlistener.h"
#include "statuswindow.h"
#include "testrequest.h"
#include "webintake.h"

namespace {

std::unique_ptr<PrinterTurns> turnsAt(Printer *printer)
{
    return printer ? std::make_unique<PrinterTurns>(*printer) : nullptr;
}

} // namespace

Wiring::Wiring(const RunConfig &run, StatusBoard &board, Devices devices, QObject *parent)
    : QObject(parent), m_run(run), m_drawer(m_options, devices.library, board),
      m_printer(std::move(devices.printer)), m_turns(turnsAt(m_printer.get())), m_stateLog(board),
      m_deviceLine(devices.devicePort, pathParts(board)),
      m_intake(devices.listener
                   ? std::make_unique<JobIntake>(std::move(devices.listener), pathParts(board))
                   : nullptr),
      m_web(devices.webDoor
                ? std::make_unique<WebIntake>(std::move(devices.webDoor), pathParts(board))
                : nullptr),
      m_lifecycle({board, devices.window, devices.devicePort, devices.testPort, m_options,
                   m_deviceLine, m_stateLog, m_printer.get(), m_intake.get(), m_web.get()})
{
    CommControl &testPort = devices.testPort;
    const QByteArray request = requestBytes(m_run.match);
    connect(&devices.window, &StatusWindow::requestClicked, this,
            [&testPort, &board, request] { SendTestRequest(testPort, board, request); });
}

Wiring::~Wiring() = default;

PathParts Wiring::pathParts(StatusBoard &board)
{
    return {board, m_drawer, m_run.match, m_turns.get(), m_printer && m_printer->answersStatus()};
}
