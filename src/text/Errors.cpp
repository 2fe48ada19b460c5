#include "text/Errors.h"

#include <cerrno>
#include <limits>

#include "text/Literal.h"

namespace tovik {

using namespace tovik::literals;

namespace {
// Appended piece by piece: GCC 12 warns falsely (-Wrestrict) in Release
// builds about "'" + std::string(...).
std::string ConvertText(std::string_view offending) {
    std::string text = "'";
    text.append(offending);
    text.append("' ist kein gültiger Integerwert"_w1252);
    return text;
}
}  // namespace

ConvertError::ConvertError(std::string_view offending) : Error(ConvertText(offending)) {}

ProfileWriteError::ProfileWriteError(std::string_view path)
    : Error("In " + std::string(path) + " kann nicht geschrieben werden") {}

FileCreateError::FileCreateError(std::string_view path)
    : Error("Datei " + std::string(path) + " kann nicht erstellt werden") {}

std::string FileError::Reason(int errnoValue) {
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
        return "Datei nicht gefunden";
    case EACCES:
    case EPERM:
    case EROFS:
        return "Dateizugriff verweigert";
    case EINVAL:
    case ENAMETOOLONG:
    case EILSEQ:
        return std::string("Ungültiger Dateiname"_w1252);
    default:
        return "E/A-Fehler " + std::to_string(errnoValue);
    }
}

FileError::FileError(int errnoValue, std::string_view path)
    : Error(Reason(errnoValue) + ": " + std::string(path)) {}

SocketError::SocketError(std::string_view systemText, int number, std::string_view api)
    : Error("Windows-Socket-Fehler: " + std::string(systemText) + " (" + std::to_string(number) +
            "), auf API '" + std::string(api) + "'") {}

SocketError::SocketError(std::string_view systemText, std::string_view api)
    : Error("Windows-Socket-Fehler: " + std::string(systemText) + ", auf API '" + std::string(api) + "'") {}

SocketError::SocketError(int asyncNumber)
    : Error("Asynchroner Socket-Fehler " + std::to_string(asyncNumber)) {}

int StrToInt(std::string_view text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty()) throw ConvertError(text);
    long long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') throw ConvertError(text);
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) throw ConvertError(text);
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        throw ConvertError(text);
    return static_cast<int>(value);
}

}  // namespace tovik
