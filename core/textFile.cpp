#include "core/textFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdint>
#include <iterator>

namespace korvel {

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past the last code point are not UTF-8.
        static constexpr uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (code < minimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

namespace {

// The code page's characters for the bytes 0x80 to 0x9F; the others are the same number in Unicode.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

std::optional<char> windows1252Byte(uint32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF))
        return static_cast<char>(code);
    for (std::size_t i = 0; i < std::size(kWindows1252High); ++i)
        if (kWindows1252High[i] == code)
            return static_cast<char>(0x80 + i);
    return std::nullopt;
}

} // namespace

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        appendUtf8(out, c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : c);
    }
    return out;
}

std::optional<std::string> utf8ToWindows1252(std::string_view text) {
    if (!isValidUtf8(text))
        return std::nullopt;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c < 0xE0 ? 2 : (c < 0xF0 ? 3 : 4));
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const auto byte = windows1252Byte(code);
        if (!byte)
            return std::nullopt;
        out.push_back(*byte);
        i += length;
    }
    return out;
}

namespace {

void setError(std::string* error, const QString& text) {
    if (error)
        *error = text.toStdString();
}

} // namespace

bool readFileBytes(const std::string& path, std::string& bytes, std::size_t maxBytes, std::string* error) {
    bytes.clear();
    const QString name = QString::fromStdString(path);
    const QFileInfo info(name);
    if (!info.exists()) {
        setError(error, QStringLiteral("The file does not exist."));
        return false;
    }
    if (!info.isFile()) {
        setError(error, QStringLiteral("It is not a regular file."));
        return false;
    }
    if (static_cast<std::uintmax_t>(info.size()) > maxBytes) {
        setError(error, QStringLiteral("It is larger than %1 bytes.").arg(maxBytes));
        return false;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, file.errorString());
        return false;
    }
    // The file may have grown since the size was read; one byte past the limit tells.
    const QByteArray read = file.read(static_cast<qint64>(maxBytes) + 1);
    if (file.error() != QFileDevice::NoError) {
        setError(error, file.errorString());
        return false;
    }
    if (static_cast<std::size_t>(read.size()) > maxBytes) {
        setError(error, QStringLiteral("It is larger than %1 bytes.").arg(maxBytes));
        return false;
    }
    bytes.assign(read.constData(), static_cast<std::size_t>(read.size()));
    return true;
}

bool readTextFile(const std::string& path, std::string& text, std::size_t maxBytes, std::string* error) {
    if (!readFileBytes(path, text, maxBytes, error))
        return false;
    if (!isValidUtf8(text))
        text = latin1ToUtf8(text);
    return true;
}

bool writeTextFileAtomically(const std::string& path, std::string_view text, std::string* error) {
    return writeFileAtomically(
        path, [text](const ByteSink& write) { return write(text); }, error);
}

bool writeFileAtomically(const std::string& path, const std::function<bool(const ByteSink& write)>& produce,
                         std::string* error) {
    QSaveFile file(QString::fromStdString(path));
    // Unbuffered, so a write that fails (full disk, size limit) fails here and not in a flush inside
    // commit() whose failure would let an empty temporary file replace the original.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        setError(error, file.errorString());
        return false;
    }
    bool failed = false;
    const ByteSink write = [&file, &failed](std::string_view bytes) {
        const char* data = bytes.data();
        auto left = static_cast<qint64>(bytes.size());
        while (left > 0) {
            const qint64 written = file.write(data, left);
            if (written <= 0) {
                failed = true;
                return false;
            }
            data += written;
            left -= written;
        }
        return true;
    };
    // A producer that stops without a failed write still must not replace the file with a part of it.
    if (!produce(write) || failed) {
        setError(error, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        setError(error, file.errorString());
        return false;
    }
    return true;
}

std::string saveFailedText(const std::string& path, const std::string& reason) {
    std::string text = "Can't save " + path + "!";
    if (!reason.empty())
        text += "\n" + reason;
    return text;
}

std::string readFailedText(const std::string& path, const std::string& reason) {
    std::string text = "Can't read " + path + "!";
    if (!reason.empty())
        text += "\n" + reason;
    return text;
}

} // namespace korvel
