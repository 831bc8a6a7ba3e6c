#include "deviceline.h"

#include "commcontrol.h"
#include "configureport.h"
#include "logging.h"
#include "statustext.h"

DeviceLine::DeviceLine(CommControl &port, const PathParts &parts, QObject *parent)
    : QObject(parent), m_port(port), m_board(parts.board),
      m_path(port, SourcePath::Kind::Line, Field::DeviceState, parts),
      m_retry(
          "Device",
          [this] { ConfigurePort(m_port, m_board, Field::DevicePort, Field::DeviceBaud); }, this)
{
    // The receiver hears of a lost port before the retry starts, as its log lines tell it.
    connect(&m_port, &CommControl::lost, this, &DeviceLine::portLost);
    connect(&m_retry, &PortRetry::opened, this, &DeviceLine::portOpened);
    connect(&m_path, &SourcePath::replied, this, &DeviceLine::writeReply);
}

void DeviceLine::stop()
{
    m_stopped = true;
    m_retry.stop();
    m_path.receiver().stop();
}

void DeviceLine::portLost()
{
    if (!m_stopped)
        m_retry.start();
}

void DeviceLine::portOpened()
{
    m_path.receiver().restart();
    m_board.setText(Field::DeviceState, StatusText::openSuccess());
}

void DeviceLine::writeReply(const QByteArray &bytes)
{
    try {
        m_port.writeReply(bytes);
    } catch (...) {
        qCWarning(lcTralvo, "Device: the printer's reply of %lld bytes could not be passed on: %s",
                  static_cast<long long>(bytes.size()), currentFailure().c_str());
    }
}
