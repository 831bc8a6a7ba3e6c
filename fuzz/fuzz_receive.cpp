// Feeds arbitrary bytes, cut into arbitrary chunks, through the Device port's receiver over the
// scripted port: one receive event per chunk. A pulse must happen exactly for the chunks that
// begin with ESC p, and the Device state field must tell its outcome.
//
// Input layout: byte 0 picks the profile field; then frames, each a header byte followed by the
// chunk. Header bits 0-4: chunk length (31: the rest of the input); bit 5: the second half of
// the chunk arrives only after the first byte has been read (as if during the drain); bit 6: the
// library returns non-zero for this chunk; bit 7: a receive event that finds nothing waiting is
// raised first, which must have no effect. Chunks come far apart in time, so a text that is only
// ESC at a chunk's end never meets the next chunk.

#include "countinglibrary.h"
#include "fakecommcontrol.h"
#include "kickdrawer.h"
#include "receiver.h"
#include "recordingview.h"
#include "startoptions.h"
#include "statusboard.h"
#include "statustext.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void violated(const char *what, const QByteArray &chunk)
{
    std::fprintf(stderr, "fuzz_receive: invariant violated: %s (chunk %s)\n", what,
                 chunk.toHex(' ').constData());
    std::abort();
}

struct ProfileCase
{
    const char *field;
    const GpioProfile *profile; // null: the field is no number, so no pulse at all
};

ProfileCase profileCase(std::uint8_t selector)
{
    switch (selector % 4) {
    case 0:
        return {"0", &gpioProfile0()};
    case 1:
        return {"1", &gpioProfile1()};
    case 2:
        return {" -2.5e1 ", &gpioProfile1()};
    default:
        return {"x", nullptr};
    }
}

bool beginsWithEscP(const QByteArray &chunk)
{
    return chunk.size() >= 2 && chunk.at(0) == '\x1b' && chunk.at(1) == 'p';
}

} // namespace

// The receiver's wait for a command's next byte is a timer, which wants an application.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const ProfileCase profile = profileCase(data[0]);
    StartOptions options;
    options.hideField = QStringLiteral("1");
    options.profileField = QString::fromLatin1(profile.field);

    FakeCommControl port;
    port.setPortOpen(true);
    RecordingView view;
    view.setText(Field::DeviceState, StatusText::openSuccess());
    CountingLibrary library;
    LibraryDrawer drawer(options, library, view);
    Receiver receiver(port, SourceKind::Line, Field::DeviceState, view, drawer, MatchMode::Start,
                      nullptr, StatusRequests::Ignored, EventPump{[] {}});

    std::size_t pos = 1;
    while (pos < size) {
        const std::uint8_t header = data[pos++];
        const std::size_t wanted = header & 0x1f;
        const std::size_t length = wanted == 0x1f ? size - pos : std::min(wanted, size - pos);
        const QByteArray chunk(reinterpret_cast<const char *>(data + pos),
                               static_cast<qsizetype>(length));
        pos += length;
        const bool lateHalf = (header & 0x20) != 0 && chunk.size() >= 2;
        library.result = (header & 0x40) != 0 ? 1 : 0;
        const bool emptyEventFirst = (header & 0x80) != 0;

        const QByteArray early = lateHalf ? chunk.left((chunk.size() + 1) / 2) : chunk;
        const QByteArray late = lateHalf ? chunk.mid(early.size()) : QByteArray();
        const QString stateBefore = view.text(Field::DeviceState);
        const qsizetype callsBefore = library.calls.size();
        const int readsBefore = port.reads();

        if (emptyEventFirst) {
            port.raise();
            if (port.reads() != readsBefore)
                violated("an empty receive event read the port", chunk);
            if (library.calls.size() != callsBefore || view.text(Field::DeviceState) != stateBefore)
                violated("an empty receive event had an effect", chunk);
        }
        port.hold(early);

        bool lateHeld = late.isEmpty();
        port.afterRead = [&] {
            if (!lateHeld) {
                port.hold(late);
                lateHeld = true;
            }
        };
        port.raise();
        port.afterRead = nullptr;
        // The text left open for a command's next byte is decided before the next chunk comes: a
        // lone ESC is no command, so forgetting it is what its timer would do, without the wait.
        if (receiver.awaitsRest() != (chunk == QByteArray("\x1b", 1)))
            violated("a text left open that is no lone ESC, or a lone ESC decided at once", chunk);
        receiver.restart();

        if (!port.waiting().isEmpty())
            violated("bytes left waiting after a drain", chunk);
        if (port.reads() - readsBefore != chunk.size())
            violated("not one read per byte", chunk);

        const bool command = beginsWithEscP(chunk);
        const qsizetype pulses = library.calls.size() - callsBefore;
        const QString state = view.text(Field::DeviceState);
        if (!command) {
            if (pulses != 0)
                violated("a pulse without a command", chunk);
            if (state != stateBefore)
                violated("the state changed without a command", chunk);
        } else if (profile.profile == nullptr) {
            if (pulses != 0)
                violated("a pulse with an unreadable profile field", chunk);
            if (state != StatusText::receiveFailed())
                violated("an unreadable profile field not reported", chunk);
        } else {
            if (pulses != 1)
                violated("a command did not give exactly one pulse", chunk);
            if (library.calls.last() != *profile.profile)
                violated("the wrong profile", chunk);
            const QString expected =
                library.result == 0 ? StatusText::receiveSuccess() : StatusText::receiveFailed();
            if (state != expected)
                violated("the state does not tell the pulse's result", chunk);
        }
    }
    return 0;
}
