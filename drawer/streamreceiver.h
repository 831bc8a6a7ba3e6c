#pragma once

#include "kickscanner.h"
#include "receivehandler.h"

#include <QByteArray>

#include <functional>
#include <optional>

class CommControl;
class DrawerLibrary;
class StatusView;
struct StartOptions;

// Where the Device port's bytes go on to (the receipt printer): room() says how many more it
// takes now, send() takes them.
struct Onward
{
    std::function<qint64()> room;
    std::function<void(const QByteArray &)> send;
};

// The Device port's bytes as one stream, for the printer line: in the escpos and star modes, and
// in any mode when the bytes pass on to a printer. Bytes are read in large chunks and each chunk
// goes onward before it is looked at. The escpos and star modes find kicks anywhere in the stream
// and across reads; start looks at the opening of each received text, as the byte-at-a-time
// handler does. A received text, all that one drain reads, gives at most one pulse, shown in the
// Device state field as that handler shows it.
//
// When the printer is behind (room() is 0), the drain stops reading, and the Device port's own
// buffers fill until the sender waits; resume() goes on once there is room again.
class StreamReceiver
{
public:
    StreamReceiver(CommControl &devicePort, StatusView &view, const StartOptions &options,
                   DrawerLibrary &library, EventPump pump, MatchMode mode,
                   std::optional<Onward> onward);

    // The Device port's communication event.
    void onComm();
    // Goes on with a drain that stopped for want of room onward.
    void resume();
    // Forgets a command in progress, for a port opened afresh.
    void reset() { m_scanner.reset(); }

    // Bytes read at most at a time.
    static constexpr qint16 chunkSize = 16 * 1024;

private:
    void drain();

    CommControl &m_devicePort;
    StatusView &m_view;
    const StartOptions &m_options;
    DrawerLibrary &m_library;
    EventPump m_pump;
    MatchMode m_mode;
    std::optional<Onward> m_onward;
    KickScanner m_scanner;
    bool m_draining = false;
    bool m_heldUp = false;
};
