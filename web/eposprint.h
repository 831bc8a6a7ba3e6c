#pragma once

// Translates an ePOS-Print document (the body of POST /cgi-bin/epos/service.cgi) into the ESC/POS
// bytes an Epson printer would execute for it. Pure: no printer, no I/O.
//
// Accepts a SOAP 1.1 envelope whose Body holds one <epos-print> in the namespace
// http://www.epson-pos.com/schemas/2011/03/epos-print, or a bare <epos-print> root. The envelope's
// Header may hold <parameter> (same namespace) with <devid>, <timeout> (milliseconds) and
// <printjobid>. Inside <epos-print>, in document order:
//   text     its characters (line ends "&#10;" as LF, tabs as HT, CR dropped; other characters in
//            code page 437, the printer's default, '?' where it has none) after the settings its
//            attributes give: lang (checked, not translated), align (ESC a), em (ESC E), ul (ESC
//            -), reverse (GS B), smooth (GS b), font font_a..font_e (ESC M), linespc (ESC 3), dw,
//            dh, width and height 1..8 (one GS !, dw and dh giving 2 where width or height is not
//            given)
//   feed     line n (ESC d n), unit n (ESC J n), neither (LF); linespc first (ESC 3)
//   image    width x height dots, mode mono, color color_1, align; the base64 data holds 1-bit
//            rows padded to a byte (Epson's layout) or rows packed without padding (as Odoo
//            sends them), which are repacked; out as GS v 0, in bands of at most 1024 rows. Where
//            both layouts have the same size (tiny images), the data is read as padded.
//   cut      type feed, reserve (GS V 66 0), no_feed (GS V 1), and the _fullcut ones (GS V 65 0,
//            GS V 0)
//   pulse    drawer drawer_1|drawer_2, time pulse_100..pulse_500: ESC p m t1 t2 with t1 = ms / 2
//   and
//            an off time t2 of 500 ms (250)
//   command  its text as hex bytes, passed on as they are
//   barcode  type upc_a, upc_e, ean13/jan13, ean8/jan8, code39, itf, codabar, code93, code128;
//            hri, font, width 2..6, height 1..255 (Epson's defaults where not given), align:
//            GS H, GS f, GS w, GS h, GS k m n data (code128 data without a code set gets "{B")
//   symbol   type qrcode_model_1|qrcode_model_2, level level_l..level_h|default, width 1..16,
//            height and size (checked, not used by QR codes), align: GS ( k functions 165, 167,
//            169 (not for default), 180 and 181
//   reset    ESC @
//   sound, layout, recovery: accepted with any attributes, not translated, listed in the result.
//
// Refuses the whole document (no bytes) with the ePOS code "SchemaError", naming the element
// (and attribute) and a reason of its own for each case: XML that is not well formed, a
// document type declaration, no <epos-print>, an unknown element, attribute or value, a number
// out of range, an element in the wrong place (any element inside one of the above, text
// directly in <epos-print>), image data that disagrees with width x height, hex that is not
// hex, barcode or symbol data its type cannot hold.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

struct EposPrintResult
{
    QByteArray bytes; // ESC/POS, in the document's order; empty on failure
    QString devid;    // the envelope's devid, empty when none
    std::optional<int> timeoutMs;
    QString printJobId;
    bool holdsPulse = false; // a drawer kick in the bytes: a pulse, or one in a command
    // Anything for the paper: characters, feeds, images, cuts, codes, commands other than kicks
    bool printsAnything = false;
    QStringList untranslated; // sound, layout, recovery, once each time they appear

    QString code;            // "SchemaError" on failure, empty on success
    QString failedElement;   // the element that could not be translated
    QString failedAttribute; // and its attribute, when one was at fault
    QString reason;          // why, for the log

    bool ok() const { return code.isEmpty(); }
};

class EposPrintTranslator
{
public:
    static EposPrintResult translate(const QByteArray &body);
};
