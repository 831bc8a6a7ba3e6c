#include "eposprint.h"

#include "kickscanner.h"
#include "logging.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

namespace {

// QByteArray's and QString's sizes: int in Qt 5, qsizetype in Qt 6. Documents are at most a few
// MiB, so every size here fits.
using Size = decltype(QByteArray().size());

const QString eposNamespace = QStringLiteral("http://www.epson-pos.com/schemas/2011/03/epos-print");
const QString soapNamespace = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");

// Why a document is refused; thrown inside the translation, caught once in translate().
struct SchemaFailure
{
    QString element;
    QString attribute;
    QString reason;
};

[[noreturn]] void refuse(const QString &element, const QString &attribute, const QString &reason)
{
    throw SchemaFailure{element, attribute, reason};
}

struct Choice
{
    const char *text;
    int value;
};

// An attribute: one of its choices, or (without choices) a whole number in [min, max].
struct AttributeRule
{
    const char *name;
    std::vector<Choice> choices;
    int min = 0;
    int max = 0;
};

// An element as read: its validated attribute values and its characters.
struct Element
{
    QString name;
    std::map<QString, int> values;
    QString text;

    std::optional<int> value(const char *attribute) const
    {
        const auto found = values.find(QLatin1String(attribute));
        return found == values.end() ? std::nullopt : std::optional<int>(found->second);
    }
    int value(const char *attribute, int fallback) const
    {
        return value(attribute).value_or(fallback);
    }
};

struct Translation
{
    QByteArray out;
    int charWidth = 1; // what the last GS ! set, for the half of it an element leaves alone
    int charHeight = 1;
    bool prints = false;
    QStringList untranslated;

    void put(std::initializer_list<int> bytes)
    {
        for (const int byte : bytes)
            out.append(static_cast<char>(byte));
    }
};

using Translate = void (*)(Translation &, const Element &);

struct ElementRule
{
    const char *name;
    std::vector<AttributeRule> attributes;
    // cppcheck-suppress unusedStructMember ; called through the table
    Translate translate; // null: accepted, listed, not translated (any attributes)
};

const std::vector<Choice> booleans = {{"false", 0}, {"true", 1}};
const std::vector<Choice> alignments = {{"left", 0}, {"center", 1}, {"right", 2}};
const std::vector<Choice> textFonts = {
    {"font_a", 0}, {"font_b", 1}, {"font_c", 2}, {"font_d", 3}, {"font_e", 4}};

// ESC/POS's code page 437 above 0x7f, as Unicode.
constexpr char16_t codePage437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

char toCodePage437(char16_t unit)
{
    if (unit < 0x80)
        return static_cast<char>(unit);
    const auto *end = std::end(codePage437);
    const auto *found = std::find(std::begin(codePage437), end, unit);
    return found == end ? '?' : static_cast<char>(0x80 + (found - std::begin(codePage437)));
}

void putText(Translation &t, const QString &text)
{
    for (Size i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r'))
            continue;
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i; // one character outside the code page: one '?'
        t.out.append(c.isSurrogate() ? '?' : toCodePage437(c.unicode()));
    }
    if (!text.isEmpty())
        t.prints = true;
}

void putSize(Translation &t, const Element &e)
{
    const auto width = e.value("width"), height = e.value("height");
    const auto dw = e.value("dw"), dh = e.value("dh");
    if (!width && !height && !dw && !dh)
        return;
    t.charWidth = width.value_or(dw ? (*dw != 0 ? 2 : 1) : t.charWidth);
    t.charHeight = height.value_or(dh ? (*dh != 0 ? 2 : 1) : t.charHeight);
    t.put({0x1d, '!', ((t.charWidth - 1) << 4) | (t.charHeight - 1)});
}

void putAlign(Translation &t, const Element &e)
{
    if (const auto align = e.value("align"))
        t.put({0x1b, 'a', *align});
}

void translateText(Translation &t, const Element &e)
{
    putAlign(t, e);
    if (const auto font = e.value("font"))
        t.put({0x1b, 'M', *font});
    if (const auto em = e.value("em"))
        t.put({0x1b, 'E', *em});
    if (const auto ul = e.value("ul"))
        t.put({0x1b, '-', *ul});
    if (const auto reverse = e.value("reverse"))
        t.put({0x1d, 'B', *reverse});
    if (const auto smooth = e.value("smooth"))
        t.put({0x1d, 'b', *smooth});
    if (const auto spacing = e.value("linespc"))
        t.put({0x1b, '3', *spacing});
    putSize(t, e);
    putText(t, e.text);
}

void translateFeed(Translation &t, const Element &e)
{
    if (const auto spacing = e.value("linespc"))
        t.put({0x1b, '3', *spacing});
    if (const auto lines = e.value("line"))
        t.put({0x1b, 'd', *lines});
    else if (const auto dots = e.value("unit"))
        t.put({0x1b, 'J', *dots});
    else
        t.put({'\n'});
    t.prints = true;
}

QByteArray decodeBase64(const Element &e)
{
    QByteArray text = e.text.toLatin1();
    text.replace(' ', "").replace('\n', "").replace('\r', "").replace('\t', "");
    const auto decoded =
        QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        refuse(e.name, QString(), QStringLiteral("the image data is not base64"));
    return *decoded;
}

// Rows packed bit after bit (no padding at a row's end) into rows padded to a byte.
QByteArray padRows(const QByteArray &packed, int width, int height)
{
    const qint64 rowBytes = (width + 7) / 8;
    QByteArray padded(static_cast<Size>(rowBytes * height), '\0');
    const auto *in = reinterpret_cast<const std::uint8_t *>(packed.constData());
    auto *out = reinterpret_cast<std::uint8_t *>(padded.data());
    for (qint64 y = 0; y < height; ++y) {
        for (qint64 x = 0; x < width; ++x) {
            const qint64 bit = y * width + x;
            if ((in[bit / 8] & (0x80 >> (bit % 8))) != 0)
                out[y * rowBytes + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    return padded;
}

void translateImage(Translation &t, const Element &e)
{
    const auto width = e.value("width"), height = e.value("height");
    if (!width || !height)
        refuse(e.name, QLatin1String(width ? "height" : "width"),
               QStringLiteral("an image needs both width and height"));
    QByteArray data = decodeBase64(e);
    const qint64 rowBytes = (*width + 7) / 8;
    const qint64 padded = rowBytes * *height;
    const qint64 packed = (qint64{*width} * *height + 7) / 8;
    if (data.size() == packed && data.size() != padded)
        data = padRows(data, *width, *height);
    else if (data.size() != padded)
        refuse(e.name, QString(),
               QStringLiteral("the image data holds %1 bytes, not the %2 (or %3 unpadded) that "
                              "%4 x %5 dots take")
                   .arg(data.size())
                   .arg(padded)
                   .arg(packed)
                   .arg(*width)
                   .arg(*height));
    putAlign(t, e);
    constexpr int bandRows = 1024; // within every printer's GS v 0 height
    for (int top = 0; top < *height; top += bandRows) {
        const int rows = std::min(bandRows, *height - top);
        t.put(
            {0x1d, 'v', '0', 0, int(rowBytes & 0xff), int(rowBytes >> 8), rows & 0xff, rows >> 8});
        t.out.append(
            data.mid(static_cast<Size>(top * rowBytes), static_cast<Size>(rows * rowBytes)));
    }
    t.prints = true;
}

void translateCut(Translation &t, const Element &e)
{
    switch (e.value("type", 0)) {
    case 1: // no_feed
        t.put({0x1d, 'V', 1});
        break;
    case 2: // feed_fullcut, reserve_fullcut
        t.put({0x1d, 'V', 65, 0});
        break;
    case 3: // no_feed_fullcut
        t.put({0x1d, 'V', 0});
        break;
    default: // feed, reserve
        t.put({0x1d, 'V', 66, 0});
        break;
    }
    t.prints = true;
}

void translatePulse(Translation &t, const Element &e)
{
    constexpr int offTime = 250; // 500 ms, at least the longest pulse
    t.put({0x1b, 'p', e.value("drawer", 0), e.value("time", 100) / 2, offTime});
}

bool onlyKicks(const QByteArray &bytes)
{
    KickScanner scanner(KickScanner::CommandSet::EscPos);
    std::vector<qsizetype> ends;
    scanner.feed(bytes.constData(), bytes.size(), &ends);
    constexpr qsizetype kickSize = 5; // ESC p m t1 t2, DLE DC4 1 m t
    qsizetype expectedEnd = 0;
    for (const qsizetype end : ends) {
        expectedEnd += kickSize;
        if (end != expectedEnd)
            return false;
    }
    return bytes.size() == expectedEnd;
}

void translateCommand(Translation &t, const Element &e)
{
    QByteArray hex = e.text.toLatin1();
    hex.replace(' ', "").replace('\n', "").replace('\r', "").replace('\t', "");
    const bool digits = std::all_of(hex.begin(), hex.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
    if (!digits || hex.size() % 2 != 0)
        refuse(e.name, QString(), QStringLiteral("the command is not an even count of hex digits"));
    const QByteArray bytes = QByteArray::fromHex(hex);
    t.out.append(bytes);
    if (!onlyKicks(bytes))
        t.prints = true;
}

// GS k's m, and which bytes its data may hold.
struct BarcodeKind
{
    int m;
    int minLength;
    int maxLength;
    const char *allowed; // null: any ASCII from space to '~'
};

const BarcodeKind barcodeKinds[] = {
    {65, 11, 12, "0123456789"},                                   // upc_a
    {66, 6, 12, "0123456789"},                                    // upc_e
    {67, 12, 13, "0123456789"},                                   // ean13, jan13
    {68, 7, 8, "0123456789"},                                     // ean8, jan8
    {69, 1, 255, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./"}, // code39
    {70, 2, 254, "0123456789"},                                   // itf
    {71, 2, 255, "0123456789ABCDabcd$+-./:"},                     // codabar
    {72, 1, 255, nullptr},                                        // code93
    {73, 1, 253, nullptr},                                        // code128
};

QByteArray barcodeData(const Element &e, const BarcodeKind &kind)
{
    const bool ascii =
        std::all_of(e.text.begin(), e.text.end(), [](QChar c) { return c.unicode() < 0x80; });
    QByteArray data = e.text.toLatin1();
    if (kind.m == 73 && !(data.startsWith("{A") || data.startsWith("{B") || data.startsWith("{C")))
        data = "{B" + data.replace('{', "{{");
    const bool fits = data.size() >= kind.minLength && data.size() <= kind.maxLength &&
                      std::all_of(data.begin(), data.end(), [&](char c) {
                          return kind.allowed ? std::strchr(kind.allowed, c) != nullptr && c != 0
                                              : c >= ' ' && c <= '~';
                      });
    if (!ascii || !fits)
        refuse(e.name, QString(), QStringLiteral("the barcode data does not fit its type"));
    return data;
}

void translateBarcode(Translation &t, const Element &e)
{
    const auto type = e.value("type");
    if (!type)
        refuse(e.name, QStringLiteral("type"), QStringLiteral("a barcode needs a type"));
    const BarcodeKind &kind = barcodeKinds[*type];
    const QByteArray data = barcodeData(e, kind);
    putAlign(t, e);
    t.put({0x1d, 'H', e.value("hri", 0)});
    t.put({0x1d, 'f', e.value("font", 0)});
    t.put({0x1d, 'w', e.value("width", 3)});
    t.put({0x1d, 'h', e.value("height", 162)});
    t.put({0x1d, 'k', kind.m, int(data.size())});
    t.out.append(data);
    t.prints = true;
}

void putQrFunction(Translation &t, int function, const QByteArray &parameters)
{
    const qsizetype length = parameters.size() + 2;
    t.put({0x1d, '(', 'k', int(length & 0xff), int(length >> 8), '1', function});
    t.out.append(parameters);
}

void translateSymbol(Translation &t, const Element &e)
{
    const auto model = e.value("type");
    if (!model)
        refuse(e.name, QStringLiteral("type"), QStringLiteral("a symbol needs a type"));
    const int moduleSize = e.value("width", 3);
    if (moduleSize < 1 || moduleSize > 16)
        refuse(e.name, QStringLiteral("width"), QStringLiteral("a QR code's width is 1 to 16"));
    const QByteArray data = e.text.toUtf8();
    if (data.isEmpty() || data.size() > 7089)
        refuse(e.name, QString(), QStringLiteral("a QR code holds 1 to 7089 bytes"));
    putAlign(t, e);
    putQrFunction(t, 'A', QByteArray(1, static_cast<char>(*model)) + '\0');
    putQrFunction(t, 'C', QByteArray(1, static_cast<char>(moduleSize)));
    if (const auto level = e.value("level"); level && *level != 0)
        putQrFunction(t, 'E', QByteArray(1, static_cast<char>(*level)));
    putQrFunction(t, 'P', '0' + data);
    putQrFunction(t, 'Q', "0");
    t.prints = true;
}

void translateReset(Translation &t, const Element &)
{
    t.put({0x1b, '@'});
    t.charWidth = 1;
    t.charHeight = 1;
}

AttributeRule number(const char *name, int min, int max)
{
    return {name, {}, min, max};
}

// clang-format off
const std::vector<Choice> languages = {{"en", 0}, {"ja", 0}, {"zh-cn", 0}, {"zh-tw", 0},
                                       {"ko", 0}, {"th", 0}, {"vi", 0}, {"multi", 0}};
const std::vector<Choice> cutTypes = {{"feed", 0}, {"reserve", 0}, {"no_feed", 1},
                                      {"feed_fullcut", 2}, {"reserve_fullcut", 2},
                                      {"no_feed_fullcut", 3}};
const std::vector<Choice> drawers = {{"drawer_1", 0}, {"drawer_2", 1}};
const std::vector<Choice> pulseTimes = {{"pulse_100", 100}, {"pulse_200", 200}, {"pulse_300", 300},
                                        {"pulse_400", 400}, {"pulse_500", 500}};
// Indices into barcodeKinds.
const std::vector<Choice> barcodeTypes = {{"upc_a", 0}, {"upc_e", 1}, {"ean13", 2}, {"jan13", 2},
                                          {"ean8", 3}, {"jan8", 3}, {"code39", 4}, {"itf", 5},
                                          {"codabar", 6}, {"code93", 7}, {"code128", 8}};
const std::vector<Choice> hriPositions = {{"none", 0}, {"above", 1}, {"below", 2}, {"both", 3}};
const std::vector<Choice> barcodeFonts = {{"font_a", 0}, {"font_b", 1}};
const std::vector<Choice> symbolTypes = {{"qrcode_model_1", 49}, {"qrcode_model_2", 50}};
const std::vector<Choice> symbolLevels = {
    {"default", 0}, {"level_l", 48}, {"level_m", 49}, {"level_q", 50}, {"level_h", 51}};
// clang-format on

// What each element of epos-print may carry, and how it is translated.
const std::vector<ElementRule> &elementRules()
{
    static const std::vector<ElementRule> rules = {
        {"text",
         {{"lang", languages},
          {"align", alignments},
          {"em", booleans},
          {"ul", booleans},
          {"reverse", booleans},
          {"smooth", booleans},
          {"dw", booleans},
          {"dh", booleans},
          {"font", textFonts},
          number("width", 1, 8),
          number("height", 1, 8),
          number("linespc", 0, 255)},
         &translateText},
        {"feed",
         {number("line", 0, 255), number("unit", 0, 255), number("linespc", 0, 255)},
         &translateFeed},
        {"image",
         {number("width", 1, 65535),
          number("height", 1, 65535),
          {"color", {{"color_1", 1}}},
          {"mode", {{"mono", 0}}},
          {"align", alignments}},
         &translateImage},
        {"cut", {{"type", cutTypes}}, &translateCut},
        {"pulse", {{"drawer", drawers}, {"time", pulseTimes}}, &translatePulse},
        {"command", {}, &translateCommand},
        {"barcode",
         {{"type", barcodeTypes},
          {"hri", hriPositions},
          {"font", barcodeFonts},
          number("width", 2, 6),
          number("height", 1, 255),
          {"align", alignments}},
         &translateBarcode},
        {"symbol",
         {{"type", symbolTypes},
          {"level", symbolLevels},
          number("width", 0, 255),
          number("height", 0, 255),
          number("size", 0, 65535),
          {"align", alignments}},
         &translateSymbol},
        {"reset", {}, &translateReset},
        {"sound", {}, nullptr},
        {"layout", {}, nullptr},
        {"recovery", {}, nullptr},
    };
    return rules;
}

} // namespace

namespace {

// Walks the document with one QXmlStreamReader; every refusal is a SchemaFailure.
class DocumentReader
{
public:
    explicit DocumentReader(const QByteArray &body) : m_xml(body) {}

    void read(EposPrintResult &result)
    {
        m_result = &result;
        if (!nextElement())
            refuse(QString(), QString(), QStringLiteral("the document holds no element"));
        if (isEpos(QStringLiteral("epos-print")))
            readEposPrint();
        else if (m_xml.namespaceUri() == soapNamespace && m_xml.name() == QLatin1String("Envelope"))
            readEnvelope();
        else
            refuse(m_xml.name().toString(), QString(),
                   QStringLiteral("the root is neither a SOAP envelope nor epos-print"));
        while (next() != QXmlStreamReader::EndDocument) {
        }
        m_result->bytes = m_t.out;
        m_result->printsAnything = m_t.prints;
        m_result->untranslated = m_t.untranslated;
    }

private:
    // The next token that matters; refuses what is not well formed and any DTD.
    QXmlStreamReader::TokenType next()
    {
        for (;;) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::Invalid) {
                refuse(m_xml.name().toString(), QString(),
                       QStringLiteral("the XML is not well formed: %1 (line %2, column %3)")
                           .arg(m_xml.errorString())
                           .arg(m_xml.lineNumber())
                           .arg(m_xml.columnNumber()));
            }
            if (token == QXmlStreamReader::DTD)
                refuse(QString(), QString(),
                       QStringLiteral("a document type declaration is not accepted"));
            if (token == QXmlStreamReader::Comment ||
                token == QXmlStreamReader::ProcessingInstruction ||
                token == QXmlStreamReader::StartDocument)
                continue;
            return token;
        }
    }

    // The next child element of the current one (true), or its end (false); characters other
    // than white space between elements are refused.
    bool nextElement()
    {
        for (;;) {
            const auto token = next();
            if (token == QXmlStreamReader::StartElement)
                return true;
            if (token == QXmlStreamReader::EndElement || token == QXmlStreamReader::EndDocument)
                return false;
            if (token == QXmlStreamReader::Characters && !m_xml.isWhitespace())
                refuse(m_parent, QString(),
                       QStringLiteral("characters are in the wrong place, in %1").arg(m_parent));
        }
    }

    // The characters of an element that may hold no element.
    QString content(const QString &element)
    {
        QString text;
        for (;;) {
            const auto token = next();
            if (token == QXmlStreamReader::Characters)
                text += m_xml.text();
            else if (token == QXmlStreamReader::StartElement)
                refuse(m_xml.name().toString(), QString(),
                       QStringLiteral("the element is in the wrong place, inside %1").arg(element));
            else if (token == QXmlStreamReader::EndElement)
                return text;
        }
    }

    bool isEpos(const QString &name) const
    {
        return m_xml.namespaceUri() == eposNamespace && m_xml.name() == name;
    }

    [[noreturn]] void refuseElementHere(const QString &where)
    {
        refuse(m_xml.name().toString(), QString(),
               QStringLiteral("the element is in the wrong place, inside %1").arg(where));
    }

    void readEnvelope()
    {
        m_parent = QStringLiteral("Envelope");
        bool body = false;
        while (nextElement()) {
            const bool soap = m_xml.namespaceUri() == soapNamespace;
            if (soap && m_xml.name() == QLatin1String("Header") && !body)
                readHeader();
            else if (soap && m_xml.name() == QLatin1String("Body") && !body)
                body = readBody();
            else
                refuseElementHere(QStringLiteral("Envelope"));
            m_parent = QStringLiteral("Envelope");
        }
        if (!body)
            refuse(QStringLiteral("Envelope"), QString(),
                   QStringLiteral("the envelope holds no Body"));
    }

    void readHeader()
    {
        m_parent = QStringLiteral("Header");
        while (nextElement()) {
            if (!isEpos(QStringLiteral("parameter")))
                refuseElementHere(QStringLiteral("Header"));
            m_parent = QStringLiteral("parameter");
            while (nextElement())
                readParameter();
            m_parent = QStringLiteral("Header");
        }
    }

    void readParameter()
    {
        const QString name = m_xml.name().toString();
        const bool known = m_xml.namespaceUri() == eposNamespace &&
                           (name == QLatin1String("devid") || name == QLatin1String("timeout") ||
                            name == QLatin1String("printjobid"));
        if (!known)
            refuse(name, QString(), QStringLiteral("the parameter is unknown"));
        const QString value = content(name).trimmed();
        if (name == QLatin1String("devid")) {
            m_result->devid = value;
        } else if (name == QLatin1String("printjobid")) {
            m_result->printJobId = value;
        } else {
            bool number = false;
            const int ms = value.toInt(&number);
            if (!number || ms < 0)
                refuse(name, QString(), QStringLiteral("the timeout is no count of milliseconds"));
            m_result->timeoutMs = ms;
        }
    }

    bool readBody()
    {
        m_parent = QStringLiteral("Body");
        if (!nextElement())
            refuse(QStringLiteral("Body"), QString(),
                   QStringLiteral("the Body holds no epos-print"));
        if (!isEpos(QStringLiteral("epos-print")))
            refuse(m_xml.name().toString(), QString(),
                   QStringLiteral("the Body holds an element other than epos-print"));
        readEposPrint();
        m_parent = QStringLiteral("Body");
        if (nextElement())
            refuseElementHere(QStringLiteral("Body"));
        return true;
    }

    void readEposPrint()
    {
        m_parent = QStringLiteral("epos-print");
        while (nextElement()) {
            readPrintElement();
            m_parent = QStringLiteral("epos-print");
        }
    }

    void readPrintElement()
    {
        const QString name = m_xml.name().toString();
        const auto &rules = elementRules();
        const auto rule = std::find_if(rules.begin(), rules.end(), [&](const ElementRule &r) {
            return name == QLatin1String(r.name);
        });
        if (rule == rules.end() || m_xml.namespaceUri() != eposNamespace)
            refuse(name, QString(), QStringLiteral("the element is unknown"));
        Element element{name, rule->translate ? values(*rule) : std::map<QString, int>(), {}};
        element.text = content(name);
        if (!rule->translate) {
            m_t.untranslated.append(name);
            return;
        }
        rule->translate(m_t, element);
    }

    std::map<QString, int> values(const ElementRule &rule) const
    {
        std::map<QString, int> found;
        const QString element = m_xml.name().toString();
        for (const QXmlStreamAttribute &attribute : m_xml.attributes()) {
            const QString name = attribute.name().toString();
            const auto known =
                std::find_if(rule.attributes.begin(), rule.attributes.end(),
                             [&](const AttributeRule &a) { return name == QLatin1String(a.name); });
            if (known == rule.attributes.end() || !attribute.namespaceUri().isEmpty())
                refuse(element, name, QStringLiteral("the attribute is unknown"));
            found[name] = attributeValue(element, *known, attribute.value().toString());
        }
        return found;
    }

    static int attributeValue(const QString &element, const AttributeRule &rule,
                              const QString &text)
    {
        if (!rule.choices.empty()) {
            for (const Choice &choice : rule.choices) {
                if (text == QLatin1String(choice.text))
                    return choice.value;
            }
            refuse(element, QLatin1String(rule.name),
                   QStringLiteral("the value \"%1\" is unknown").arg(text));
        }
        bool number = false;
        const int value = text.toInt(&number);
        if (!number || value < rule.min || value > rule.max)
            refuse(element, QLatin1String(rule.name),
                   QStringLiteral("the value \"%1\" is not a number from %2 to %3")
                       .arg(text)
                       .arg(rule.min)
                       .arg(rule.max));
        return value;
    }

    QXmlStreamReader m_xml;
    EposPrintResult *m_result = nullptr;
    Translation m_t;
    QString m_parent;
};

} // namespace

EposPrintResult EposPrintTranslator::translate(const QByteArray &body)
{
    EposPrintResult result;
    try {
        DocumentReader(body).read(result);
        // Read as the printer reads it, so that image or code data is never taken for a kick.
        KickScanner scanner(KickScanner::CommandSet::EscPos);
        result.holdsPulse = scanner.feed(result.bytes) > 0;
        return result;
    } catch (const SchemaFailure &failure) {
        result = EposPrintResult();
        result.failedElement = failure.element;
        result.failedAttribute = failure.attribute;
        result.reason = failure.reason;
    } catch (...) {
        result = EposPrintResult();
        result.reason = QStringLiteral("the document could not be translated: %1")
                            .arg(QString::fromStdString(currentFailure()));
    }
    result.code = QStringLiteral("SchemaError");
    return result;
}
