#include "sourcepath.h"

#include "printerturns.h"
#include "runconfig.h"
#include "statusresponder.h"

#include <QPointer>

SourcePath::SourcePath(ByteSource &source, Kind kind, Field stateField, const PathParts &parts,
                       QObject *parent)
    : QObject(parent)
{
    const bool isLine = kind == Kind::Line;
    if (parts.turns) {
        m_gate = std::make_unique<PrinterGate>(*parts.turns, isLine ? RunConfig::devicePauseMs : 0);
        m_onward = m_gate.get();
    }
    // Where no printer answers status requests, Tralvo does; the Device port without a printer
    // is a drawer only, and answers nothing.
    if (kind != Kind::Request && (parts.turns ? !parts.printerAnswersStatus : !isLine)) {
        m_responder = std::make_unique<StatusResponder>(m_onward);
        m_onward = m_responder.get();
    }
    if (m_onward)
        connect(m_onward, &Onward::replied, this, &SourcePath::replied);
    m_receiver = std::make_unique<Receiver>(
        source, stateField, parts.board, parts.options, parts.library,
        isLine ? EventPump::applicationLoop() : EventPump::none(), parts.match, m_onward);
    if (!isLine && (parts.match == MatchMode::Start || parts.match == MatchMode::Any))
        m_receiver->takeWholeSourceAsOneText();
}

SourcePath::~SourcePath() = default;

void SourcePath::endJob()
{
    if (!m_onward) {
        Q_EMIT jobWritten();
        return;
    }
    m_onward->endJob([path = QPointer<SourcePath>(this)] {
        if (path)
            Q_EMIT path->jobWritten();
    });
}
