#include "settings/ProfileEncoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>

namespace quarnix {

namespace {

// Windows-1252 bytes 0x80-0x9F. The five bytes that Windows-1252 leaves unassigned keep their own value.
constexpr std::array<char16_t, 32> kHighControlTable = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool StartsWith(const QByteArray& bytes, const char* mark, qsizetype length) {
    return bytes.size() >= length && std::equal(mark, mark + length, bytes.constData());
}

} // namespace

QString DecodeWindows1252(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte <= 0x9F) ? QChar(kHighControlTable[byte - 0x80]) : QChar(byte);
    }
    return text;
}

bool EncodeWindows1252(const QString& text, QByteArray* bytes) {
    bytes->clear();
    bytes->reserve(text.size());
    for (const QChar ch : text) {
        const char16_t unit = ch.unicode();
        if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
            bytes->append(static_cast<char>(unit));
            continue;
        }
        bool found = false;
        for (std::size_t i = 0; i < kHighControlTable.size(); ++i) {
            if (kHighControlTable[i] == unit) {
                bytes->append(static_cast<char>(0x80 + i));
                found = true;
                break;
            }
        }
        if (!found) {
            bytes->clear();
            return false;
        }
    }
    return true;
}

DecodedProfile DecodeProfileBytes(const QByteArray& bytes) {
    if (StartsWith(bytes, "\xFF\xFE", 2)) {
        // An odd trailing byte cannot be a character; the decoder drops or replaces it, never crashes.
        QStringDecoder decoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
        return {decoder.decode(QByteArrayView(bytes).sliced(2)), ProfileEncoding::Utf16LE};
    }
    const bool utf8Bom = StartsWith(bytes, "\xEF\xBB\xBF", 3);
    const QByteArrayView body = utf8Bom ? QByteArrayView(bytes).sliced(3) : QByteArrayView(bytes);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError()) {
        return {text, utf8Bom ? ProfileEncoding::Utf8WithBom : ProfileEncoding::Utf8};
    }
    return {DecodeWindows1252(bytes), ProfileEncoding::Windows1252};
}

QByteArray EncodeProfileText(const QString& text, ProfileEncoding encoding) {
    switch (encoding) {
    case ProfileEncoding::Utf16LE: {
        QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::Stateless);
        return QByteArray("\xFF\xFE", 2) + QByteArray(encoder.encode(text));
    }
    case ProfileEncoding::Utf8WithBom:
        return QByteArray("\xEF\xBB\xBF", 3) + text.toUtf8();
    case ProfileEncoding::Windows1252: {
        QByteArray bytes;
        if (EncodeWindows1252(text, &bytes)) {
            return bytes;
        }
        return text.toUtf8();
    }
    case ProfileEncoding::Utf8:
        break;
    }
    return text.toUtf8();
}

} // namespace quarnix
