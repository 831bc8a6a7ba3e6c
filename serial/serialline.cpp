#include "serialline.h"

#include <QSerialPort>

namespace {

QSerialPort::Parity toQt(LineSettings::Parity parity)
{
    switch (parity) {
    case LineSettings::Parity::Even:
        return QSerialPort::EvenParity;
    case LineSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case LineSettings::Parity::Mark:
        return QSerialPort::MarkParity;
    case LineSettings::Parity::Space:
        return QSerialPort::SpaceParity;
    case LineSettings::Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(LineSettings::StopBits stopBits)
{
    switch (stopBits) {
    case LineSettings::StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    case LineSettings::StopBits::One:
        break;
    }
    return QSerialPort::OneStop;
}

QSerialPort::FlowControl toQt(LineSettings::FlowControl flow)
{
    switch (flow) {
    case LineSettings::FlowControl::RtsCts:
        return QSerialPort::HardwareControl;
    case LineSettings::FlowControl::XonXoff:
        return QSerialPort::SoftwareControl;
    case LineSettings::FlowControl::None:
        break;
    }
    return QSerialPort::NoFlowControl;
}

} // namespace

bool applyLineSettings(QSerialPort &port, const LineSettings &s)
{
    return port.setBaudRate(s.baud) &&
           port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)) &&
           port.setParity(toQt(s.parity)) && port.setStopBits(toQt(s.stopBits)) &&
           port.setFlowControl(toQt(s.flowControl));
}
