#include "streamreceiver.h"

#include "commcontrol.h"
#include "drawercommand.h"
#include "kickdrawer.h"
#include "logging.h"
#include "statustext.h"
#include "statusview.h"

#include <algorithm>
#include <utility>

StreamReceiver::StreamReceiver(CommControl &devicePort, StatusView &view,
                               const StartOptions &options, DrawerLibrary &library, EventPump pump,
                               MatchMode mode, std::optional<Onward> onward)
    : m_devicePort(devicePort), m_view(view), m_options(options), m_library(library),
      m_pump(std::move(pump)), m_mode(mode), m_onward(std::move(onward)), m_scanner(mode)
{
}

void StreamReceiver::onComm()
{
    try {
        if (m_devicePort.commEvent() != CommControl::comEvReceive)
            return;
    } catch (...) {
        reportCurrentFailure(m_view, Field::DeviceState, StatusText::receiveFailed());
        return;
    }
    drain();
}

void StreamReceiver::resume()
{
    if (m_heldUp && m_devicePort.portOpen())
        drain();
}

void StreamReceiver::drain()
{
    // A drain lets the window run between chunks; room coming back meanwhile needs no second one.
    if (m_draining)
        return;
    m_draining = true;
    m_heldUp = false;
    try {
        qsizetype kicks = 0;
        QByteArray opening;
        for (;;) {
            m_pump.processEvents();
            // The start rule gives a text that is only ESC a moment for its p, as always.
            const bool more = m_mode == MatchMode::Start ? moreToCome(m_devicePort, opening, m_pump)
                                                         : m_devicePort.inBufferCount() > 0;
            if (!more)
                break;
            const qint64 room = m_onward ? m_onward->room() : qint64{chunkSize};
            if (room <= 0) {
                m_heldUp = true;
                break;
            }
            m_devicePort.setInputLen(static_cast<qint16>(std::min<qint64>(room, chunkSize)));
            const QByteArray chunk = m_devicePort.input();
            if (chunk.isEmpty())
                throw CommError("a waiting byte could not be read");
            if (m_onward)
                m_onward->send(chunk);
            if (m_mode == MatchMode::Start)
                opening += chunk.left(longestDrawerCommand() - static_cast<int>(opening.size()));
            else
                kicks += m_scanner.feed(chunk);
        }
        const bool kicked = m_mode == MatchMode::Start ? IsDrawerCommand(opening) : kicks > 0;
        if (kicked)
            kickAndShow(m_options, m_library, m_view);
    } catch (...) {
        reportCurrentFailure(m_view, Field::DeviceState, StatusText::receiveFailed());
    }
    m_draining = false;
}
