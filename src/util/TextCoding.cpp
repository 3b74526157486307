#include "util/TextCoding.h"

#include <unicode/ucnv.h>

#include <array>
#include <bitset>
#include <memory>

namespace dh {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct ConverterCloser {
    void operator()(UConverter *conv) const { ucnv_close(conv); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

ConverterPtr OpenCp936(bool stopOnMissing)
{
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr conv(ucnv_open("windows-936", &status));
    if (U_FAILURE(status))
        return nullptr;
    status = U_ZERO_ERROR; // "windows-936" is an alias, which ICU reports as a warning
    if (stopOnMissing)
        ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    else
        ucnv_setSubstChars(conv.get(), "?", 1, &status);
    return U_SUCCESS(status) ? std::move(conv) : nullptr;
}

// A converter carries state between the pieces of one conversion, so every
// thread keeps its own; opening one is far too slow to do per call.
UConverter *Cp936()
{
    thread_local ConverterPtr conv = OpenCp936(false);
    return conv.get();
}

// The code-page value of every UTF-16 unit, worked out once: the text rules
// look at single characters millions of times.
struct Cp936Table {
    std::array<qint16, 0x10000> value{};
    std::bitset<0x10000> missing; // the code page cannot hold the unit
};

const Cp936Table &Cp936Values()
{
    static const std::unique_ptr<Cp936Table> table = [] {
        auto t = std::make_unique<Cp936Table>();
        ConverterPtr conv = OpenCp936(true);
        for (char32_t u = 0; u < 0x10000; ++u) {
            const UChar unit = UChar(u);
            char bytes[4];
            UErrorCode status = U_ZERO_ERROR;
            int32_t length = 0;
            if (conv && !QChar::isSurrogate(u)) {
                length = ucnv_fromUChars(conv.get(), bytes, sizeof bytes, &unit, 1, &status);
            } else if (!conv && u < 0x80) {
                bytes[0] = char(u);
                length = 1;
            }
            if (U_FAILURE(status) || length < 1 || length > 2) {
                t->value[u] = '?';
                t->missing.set(u);
            } else if (length == 1) {
                t->value[u] = qint16(uchar(bytes[0]));
            } else {
                t->value[u] = qint16(quint16(uchar(bytes[0]) << 8 | uchar(bytes[1])));
            }
        }
        return t;
    }();
    return *table;
}

// Width of the character starting at text[i] (a surrogate pair is one
// character) and the number of units it takes.
int WidthAt(QStringView text, qsizetype i, qsizetype *units)
{
    const char16_t u = text[i].unicode();
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
        *units = 2;
        return 2; // nothing outside the BMP is in the code page
    }
    *units = 1;
    const Cp936Table &table = Cp936Values();
    return table.missing[u] || table.value[u] < 0 ? 2 : 1;
}

QStringView TrimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

bool IsAsciiAlnum(char16_t u)
{
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z');
}

// The escape writers put their characters at p and return the end; callers
// size the text for the longest form (nine characters a unit).
char16_t *PutByteEscape(char16_t *p, uint byte)
{
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    *p++ = u'%';
    *p++ = hex[(byte >> 4) & 0xF];
    *p++ = hex[byte & 0xF];
    return p;
}

char16_t *PutUtf8Escapes(char16_t *p, char32_t cp)
{
    if (cp < 0x80)
        return PutByteEscape(p, cp);
    if (cp < 0x800) {
        p = PutByteEscape(p, 0xC0 | cp >> 6);
    } else if (cp < 0x10000) {
        p = PutByteEscape(p, 0xE0 | cp >> 12);
        p = PutByteEscape(p, 0x80 | (cp >> 6 & 0x3F));
    } else {
        p = PutByteEscape(p, 0xF0 | cp >> 18);
        p = PutByteEscape(p, 0x80 | (cp >> 12 & 0x3F));
        p = PutByteEscape(p, 0x80 | (cp >> 6 & 0x3F));
    }
    return PutByteEscape(p, 0x80 | (cp & 0x3F));
}

// A text of room for nine characters a unit, and where its writing starts.
char16_t *EscapeBuffer(QString &out, qsizetype units)
{
    out.resize(units * 9);
    return reinterpret_cast<char16_t *>(out.data());
}

void FinishEscapes(QString &out, const char16_t *end)
{
    out.truncate(end - reinterpret_cast<const char16_t *>(out.constData()));
}

void AppendCodePoint(QString &out, char32_t cp)
{
    if (cp < 0x10000) {
        out += QChar(char16_t(cp));
    } else {
        out += QChar(QChar::highSurrogate(cp));
        out += QChar(QChar::lowSurrogate(cp));
    }
}

// The byte of a "%XX" escape at i (exactly two hexadecimal digits), or -1.
int ByteEscapeAt(QStringView s, qsizetype i)
{
    if (i < 0 || i + 3 > s.size() || s[i] != u'%')
        return -1;
    const int high = HexDigit(s[i + 1]);
    const int low = HexDigit(s[i + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// The unit of a "%uXXXX" escape at i, or -1. The upper-case "U" only when asked.
int UnitEscapeAt(QStringView s, qsizetype i, bool upperU)
{
    if (i + 6 > s.size() || s[i] != u'%' || !(s[i + 1] == u'u' || (upperU && s[i + 1] == u'U')))
        return -1;
    int value = 0;
    for (qsizetype k = i + 2; k < i + 6; ++k) {
        const int digit = HexDigit(s[k]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// UTF-8 lead bytes: entry j and j + 1 bound the leads with j + 1 continuation bytes.
constexpr std::array<int, 6> kLeadBytes = {0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE};

int ContinuationCount(int lead)
{
    for (int j = 0; j + 1 < int(kLeadBytes.size()); ++j)
        if (lead >= kLeadBytes[j] && lead < kLeadBytes[j + 1])
            return j + 1;
    return -1;
}

bool IsContinuation(int byte) { return byte >= 0x80 && byte <= 0xBF; }

enum class Mode { Undecided, MaybeUtf8, Utf8, CodePage };

Mode DecideMode(QStringView s, qsizetype i, int lead)
{
    const int k = ContinuationCount(lead);
    if (k < 0)
        return Mode::CodePage;
    for (int m = 1; m <= k; ++m)
        if (!IsContinuation(ByteEscapeAt(s, i + 3 * m)))
            return Mode::CodePage;
    return k == 1 ? Mode::MaybeUtf8 : Mode::Utf8;
}

// Decodes the UTF-8 sequence whose lead escape is at i; returns the next position.
qsizetype DecodeUtf8At(QStringView s, qsizetype i, int lead, QString &out)
{
    const int k = ContinuationCount(lead);
    qsizetype next = i + 3;
    if (k < 0)
        return next; // a byte that starts no sequence stands for nothing
    char32_t value = char32_t(lead ^ kLeadBytes[k - 1]);
    for (int m = 1; m <= k; ++m) {
        const int byte = ByteEscapeAt(s, next);
        if (!IsContinuation(byte)) {
            // A cut sequence; what follows is read again on its own.
            out += QChar(kReplacement);
            return next;
        }
        value = value << 6 | char32_t(byte & 0x3F);
        next += 3;
    }
    static constexpr char32_t shortest[] = {0, 0x80, 0x800, 0x10000};
    // Overlong forms are refused: they would smuggle "/", "." or NUL past the name checks.
    const bool valid = k <= 3 && value >= shortest[k] && value <= 0x10FFFF && !(value >= 0xD800 && value <= 0xDFFF);
    AppendCodePoint(out, valid ? value : char32_t(kReplacement));
    return next;
}

// Decodes the double-byte character whose lead escape is at i; returns the next position.
qsizetype DecodeCodePageAt(QStringView s, qsizetype i, int lead, QString &out)
{
    qsizetype next = i + 3;
    QByteArray bytes(1, char(lead));
    if (lead >= 0x81 && lead <= 0xFE) { // 0x80 is the euro sign on its own, 0xFF leads nothing
        const int trail = ByteEscapeAt(s, next);
        if (trail > 0) {
            bytes += char(trail);
            next += 3;
        } else if (next < s.size() && s[next] != u'%') {
            // An unescaped trail byte; a character of two bytes cannot be one, so it stays.
            const qint16 value = Cp936Values().value[s[next].unicode()];
            if (value > 0 && value < 256 && !Cp936Values().missing[s[next].unicode()]) {
                bytes += char(value);
                next += 1;
            }
        }
    }
    out += FromCp936(bytes);
    return next;
}

} // namespace

qint16 Cp936Value(QChar c) { return Cp936Values().value[c.unicode()]; }

int Cp936Width(const QString &character)
{
    if (character.isEmpty())
        return 0;
    qsizetype units = 0;
    return WidthAt(character, 0, &units);
}

QByteArray ToCp936(const QString &text)
{
    QByteArray out;
    if (text.isEmpty())
        return out;
    UConverter *conv = Cp936();
    if (conv) {
        ucnv_resetFromUnicode(conv);
        out.resize(text.size() * 2 + 16); // the code page never needs more than two bytes a unit
        const UChar *source = reinterpret_cast<const UChar *>(text.utf16());
        const UChar *sourceEnd = source + text.size();
        char *target = out.data();
        for (;;) {
            UErrorCode status = U_ZERO_ERROR;
            ucnv_fromUnicode(conv, &target, out.data() + out.size(), &source, sourceEnd, nullptr, true, &status);
            if (status == U_BUFFER_OVERFLOW_ERROR) {
                const qsizetype used = target - out.data();
                out.resize(out.size() * 2);
                target = out.data() + used;
                continue;
            }
            if (U_SUCCESS(status)) {
                out.resize(target - out.data());
                return out;
            }
            break;
        }
    }
    // Without the converter only ASCII survives.
    out.resize(text.size());
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = text[i].unicode() < 0x80 ? char(text[i].unicode()) : '?';
    return out;
}

QString FromCp936(const QByteArray &bytes)
{
    QString out;
    if (bytes.isEmpty())
        return out;
    UConverter *conv = Cp936();
    if (conv) {
        ucnv_resetToUnicode(conv);
        out.resize(bytes.size() + 16);
        const char *source = bytes.constData();
        const char *sourceEnd = source + bytes.size();
        UChar *target = reinterpret_cast<UChar *>(out.data());
        for (;;) {
            UErrorCode status = U_ZERO_ERROR;
            UChar *targetEnd = reinterpret_cast<UChar *>(out.data()) + out.size();
            ucnv_toUnicode(conv, &target, targetEnd, &source, sourceEnd, nullptr, true, &status);
            if (status == U_BUFFER_OVERFLOW_ERROR) {
                const qsizetype used = target - reinterpret_cast<UChar *>(out.data());
                out.resize(out.size() * 2);
                target = reinterpret_cast<UChar *>(out.data()) + used;
                continue;
            }
            if (U_SUCCESS(status)) {
                out.resize(target - reinterpret_cast<UChar *>(out.data()));
                return out;
            }
            break;
        }
    }
    out.resize(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = uchar(bytes[i]) < 0x80 ? QChar(char16_t(bytes[i])) : QChar(kReplacement);
    return out;
}

QString UrlEncodeKeyword(const QString &text)
{
    // One pass does the three steps: the first only touches "%", the escapes of
    // the second hold only "%" and hexadecimal digits, and the third touches
    // neither of those.
    QString out;
    char16_t *p = EscapeBuffer(out, text.size());
    const Cp936Table &table = Cp936Values();
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'%':
        case u'#':
        case u'^':
        case u'&':
        case u'+':
            p = PutByteEscape(p, u);
            continue;
        default:
            break;
        }
        const int value = table.value[u];
        if ((value < 0 ? -value : value) > 254)
            p = u <= 0xFF ? PutByteEscape(p, u) : PutUtf8Escapes(p, u); // Utf8EscapeText of the one character
        else
            *p++ = u;
    }
    FinishEscapes(out, p);
    return out;
}

QString Utf8EscapeText(const QString &text)
{
    const QStringView v = TrimSpaces(text);
    QString out;
    char16_t *p = EscapeBuffer(out, v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        const char16_t u = v[i].unicode();
        if (u > 0xFF) {
            char32_t cp = u;
            if (QChar::isHighSurrogate(u) && i + 1 < v.size() && QChar::isLowSurrogate(v[i + 1].unicode())) {
                cp = QChar::surrogateToUcs4(u, v[i + 1].unicode());
                ++i;
            } else if (QChar::isSurrogate(u)) {
                cp = kReplacement;
            }
            p = PutUtf8Escapes(p, cp);
        } else if (IsAsciiAlnum(u)) {
            *p++ = u;
        } else {
            p = PutByteEscape(p, u);
        }
    }
    FinishEscapes(out, p);
    return out;
}

QString UrlDecodeAuto(const QString &text)
{
    QString s = text;
    s.replace(u'+', u' ');
    const qsizetype firstEscape = s.indexOf(u'%');
    if (firstEscape < 0)
        return s;

    Mode mode = Mode::Undecided;
    for (;;) {
        QString out = s.left(firstEscape);
        out.reserve(s.size());
        bool restart = false;
        qsizetype i = firstEscape;
        while (i < s.size()) {
            const QChar c = s[i];
            if (c != u'%') {
                out += c;
                ++i;
                continue;
            }
            if (i + 1 < s.size() && (s[i + 1] == u'u' || s[i + 1] == u'U')) {
                const int unit = UnitEscapeAt(s, i, true);
                if (unit >= 0) {
                    out += QChar(char16_t(unit));
                    i += 6;
                } else {
                    out += c; // not an escape: the text stays as it was
                    ++i;
                }
                continue;
            }
            const int byte = ByteEscapeAt(s, i);
            if (byte < 0) {
                out += c; // "%" without two hexadecimal digits is kept, not dropped
                ++i;
                continue;
            }
            if (byte < 0x80) {
                out += QChar(char16_t(byte));
                i += 3;
                continue;
            }
            if (mode == Mode::Undecided || mode == Mode::MaybeUtf8) {
                const Mode decided = DecideMode(s, i, byte);
                if (mode == Mode::MaybeUtf8 && decided != Mode::MaybeUtf8) {
                    // The earlier two-byte shapes were read as the code page;
                    // read everything again now that the coding is known.
                    mode = decided;
                    restart = true;
                    break;
                }
                mode = decided;
            }
            if (mode == Mode::Utf8)
                i = DecodeUtf8At(s, i, byte, out);
            else
                i = DecodeCodePageAt(s, i, byte, out);
        }
        if (!restart)
            return out;
    }
}

QString UrlDecodeUtf8(const QString &text)
{
    QString out;
    out.reserve(text.size());
    QByteArray pending;
    const auto flush = [&] {
        if (!pending.isEmpty()) {
            out += Utf8ToText(pending);
            pending.clear();
        }
    };
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == u'%' && !(i + 1 < text.size() && text[i + 1] == u'u')) {
            const int byte = ByteEscapeAt(text, i);
            if (byte >= 0) {
                pending += char(byte);
                i += 3;
                continue;
            }
        }
        flush();
        if (c == u'%') {
            const int unit = UnitEscapeAt(text, i, false);
            if (unit >= 0) {
                out += QChar(char16_t(unit));
                i += 6;
                continue;
            }
        }
        out += c == u'+' ? QChar(u' ') : c;
        ++i;
    }
    flush();
    return out;
}

qint32 HexToLong(const QString &text)
{
    const QStringView digits = TrimSpaces(text);
    if (digits.isEmpty() || digits.size() > 8)
        return -1;
    quint32 value = 0;
    for (const QChar c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0)
            return -1;
        value = value << 4 | quint32(digit);
    }
    // Up to four digits make a 16-bit number, so "FFFF" is -1.
    if (digits.size() <= 4)
        return qint16(quint16(value));
    return qint32(value);
}

QString Utf8ToText(const QByteArray &bytes)
{
    const qsizetype length = qsizetype(qstrnlen(bytes.constData(), size_t(bytes.size())));
    return QString::fromUtf8(bytes.constData(), length);
}

QString StripLineBreaks(const QString &text)
{
    QString s = text;
    s.remove(QStringLiteral("\r\n"));
    s.remove(QChar(u'\0'));
    s.remove(QChar(u'\n'));
    s.remove(QChar(u'\r'));
    s.remove(QChar(u'\t'));
    return TrimSpaces(s).toString();
}

QString LeftAnsiBytes(const QString &text, int n)
{
    if (n <= 0)
        return {};
    qsizetype used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype units = 0;
        const int width = WidthAt(text, i, &units);
        if (used + width > n)
            break;
        used += width;
        i += units;
    }
    return text.left(i);
}

} // namespace dh
