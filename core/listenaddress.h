#pragma once

#include <QString>

#include <optional>

// Where Tralvo listens as a network print port: "[ADDRESS:]PORT", ADDRESS an IPv4 address or an
// IPv6 one in brackets ("[::1]:9100"), 127.0.0.1 when left out, so that only the till itself
// reaches it unless another address is given.
struct ListenAddress
{
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 9100;

    // "127.0.0.1:9100", "[::1]:9100": as the window and the log show it.
    QString text() const;

    // nullopt, with the reason in *error, for anything it cannot take.
    static std::optional<ListenAddress> parse(const QString &text, QString *error = nullptr);
};
