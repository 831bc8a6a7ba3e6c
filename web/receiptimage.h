#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A receipt sent as a picture (Odoo's hardware proxy sends a JPEG of the whole receipt): decoded,
// scaled to the printer's width, dithered to black and white and turned into ESC/POS raster
// bands (GS v 0), followed by a partial cut. nullopt, with the reason in *error, when the bytes
// are no image Qt can read, or one too large: more than receiptMaxPixels as sent (checked before
// it is decoded), or more than receiptMaxRows rows once scaled.
std::optional<QByteArray> receiptRaster(const QByteArray &encoded, int widthDots,
                                        QString *error = nullptr);

constexpr int receiptMaxRows = 32768;
constexpr qint64 receiptMaxPixels = qint64{32} * 1024 * 1024;
