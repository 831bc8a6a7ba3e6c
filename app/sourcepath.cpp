#include "sourcepath.h"

#include "printerturns.h"
#include "runconfig.h"

namespace {

// Where Tralvo answers status requests itself: where no printer answers them, for a client that
// hears replies. The Device port without a printer is a drawer only, and answers nothing.
StatusRequests answeredHere(SourcePath::Kind kind, const PathParts &parts)
{
    if (kind == SourcePath::Kind::Request)
        return StatusRequests::Ignored;
    const bool answers = parts.turns ? !parts.printerAnswersStatus : kind == SourcePath::Kind::Job;
    return answers ? StatusRequests::Found : StatusRequests::Ignored;
}

} // namespace

SourcePath::SourcePath(ByteSource &source, Kind kind, Field stateField, const PathParts &parts,
                       QObject *parent)
    : QObject(parent)
{
    const bool isLine = kind == Kind::Line;
    if (parts.turns) {
        m_gate = std::make_unique<PrinterGate>(*parts.turns, isLine ? RunConfig::devicePauseMs : 0);
        connect(m_gate.get(), &Onward::replied, this, &SourcePath::replied);
        connect(m_gate.get(), &Onward::jobWritten, this, &SourcePath::jobWritten);
    }
    m_receiver = std::make_unique<Receiver>(source, isLine ? SourceKind::Line : SourceKind::Job,
                                            stateField, parts.board, parts.drawer, parts.match,
                                            m_gate.get(), answeredHere(kind, parts));
    connect(m_receiver.get(), &Receiver::statusRequested, this, [this](const QByteArray &requests) {
        Q_EMIT replied(QByteArray(requests.size(), onlineWithPaper));
    });
}

SourcePath::~SourcePath() = default;

void SourcePath::endJob()
{
    if (m_gate)
        m_receiver->finishJob();
    else
        Q_EMIT jobWritten();
}
