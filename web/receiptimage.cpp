#include "receiptimage.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <algorithm>

namespace {

// The size type of QByteArray: int in Qt 5, qsizetype in Qt 6.
using ByteCount = decltype(QByteArray().size());

// Rows per GS v 0 command: printers take at least this many at once.
constexpr int bandRows = 1024;

QByteArray littleEndian16(int value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = static_cast<char>(value & 0xff);
    bytes[1] = static_cast<char>((value >> 8) & 0xff);
    return bytes;
}

// The black dots of a 1-bit image, a row at a time, padded to whole bytes, 1 for black.
QByteArray blackDots(const QImage &mono)
{
    // Format_Mono holds colour-table indices; which index is black depends on the conversion.
    const bool oneIsBlack = qGray(mono.color(1)) < qGray(mono.color(0));
    const int rowBytes = (mono.width() + 7) / 8;
    QByteArray dots;
    dots.reserve(ByteCount{rowBytes} * mono.height());
    for (int y = 0; y < mono.height(); ++y) {
        const auto *row = reinterpret_cast<const char *>(mono.constScanLine(y));
        QByteArray line(row, rowBytes);
        if (!oneIsBlack)
            std::transform(line.begin(), line.end(), line.begin(),
                           [](char c) { return static_cast<char>(~c); });
        // Bits past the width are padding: no dot.
        if (const int spare = rowBytes * 8 - mono.width())
            line[rowBytes - 1] = static_cast<char>(line[rowBytes - 1] & (0xff << spare));
        dots += line;
    }
    return dots;
}

} // namespace

std::optional<QByteArray> receiptRaster(const QByteArray &encoded, int widthDots, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QBuffer buffer;
    buffer.setData(encoded);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return fail(QStringLiteral("the receipt is no image: %1").arg(reader.errorString()));
    if (qint64{size.width()} * size.height() > receiptMaxPixels)
        return fail(QStringLiteral("the receipt image is too large: %1 x %2")
                        .arg(size.width())
                        .arg(size.height()));
    const qint64 rows = qint64{size.height()} * widthDots / size.width();
    if (rows > receiptMaxRows)
        return fail(QStringLiteral("the receipt is too long to print: %1 rows").arg(rows));
    QImage image = reader.read();
    if (image.isNull())
        return fail(QStringLiteral("the receipt is no image: %1").arg(reader.errorString()));
    // Transparent parts are paper.
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    {
        QImage composed = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < composed.height(); ++y) {
            auto *to = reinterpret_cast<QRgb *>(flat.scanLine(y));
            const auto *from = reinterpret_cast<const QRgb *>(composed.constScanLine(y));
            for (int x = 0; x < composed.width(); ++x) {
                const int a = qAlpha(from[x]);
                const int g = (qGray(from[x]) * a + 255 * (255 - a)) / 255;
                to[x] = qRgb(g, g, g);
            }
        }
    }
    const QImage scaled = flat.scaledToWidth(widthDots, Qt::SmoothTransformation);
    const QImage mono =
        scaled.convertToFormat(QImage::Format_Mono, Qt::MonoOnly | Qt::DiffuseDither);
    const QByteArray dots = blackDots(mono);
    const int rowBytes = (mono.width() + 7) / 8;
    QByteArray bytes;
    for (int top = 0; top < mono.height(); top += bandRows) {
        const int band = std::min(bandRows, mono.height() - top);
        bytes +=
            QByteArray("\x1d\x76\x30\x00", 4) + littleEndian16(rowBytes) + littleEndian16(band);
        bytes += dots.mid(ByteCount{top} * rowBytes, ByteCount{band} * rowBytes);
    }
    return bytes + QByteArray("\x1d\x56\x42\x00", 4);
}
