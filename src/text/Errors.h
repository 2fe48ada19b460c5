#pragma once
// The program's failures. Each carries its German text as Windows-1252 bytes
// (what()), filled in by the failing call. Event handlers catch `Error` at
// their boundary and hand the text to the one error reporter.

#include <stdexcept>
#include <string>
#include <string_view>

namespace tovik {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

// "'%s' ist kein gültiger Integerwert"
class ConvertError : public Error {
public:
    explicit ConvertError(std::string_view offending);
};

// "In %s kann nicht geschrieben werden"
class ProfileWriteError : public Error {
public:
    explicit ProfileWriteError(std::string_view path);
};

// "Datei %s kann nicht erstellt werden"
class FileCreateError : public Error {
public:
    explicit FileCreateError(std::string_view path);
};

// A file that cannot be opened or created, in the system's German wording:
// "Datei nicht gefunden", "Dateizugriff verweigert", "Ungültiger Dateiname",
// "E/A-Fehler %d", followed by ": " and the file's path.
class FileError : public Error {
public:
    FileError(int errnoValue, std::string_view path);
    static std::string Reason(int errnoValue);
};

// "Windows-Socket-Fehler: %s (%d), auf API '%s'" for a failing socket call,
// "Asynchroner Socket-Fehler %d" for an error the socket reports later.
class SocketError : public Error {
public:
    SocketError(std::string_view systemText, int number, std::string_view api);
    // Where the system's error number is not known: the text alone.
    SocketError(std::string_view systemText, std::string_view api);
    explicit SocketError(int asyncNumber);
};

// Strict conversion: an optional sign and decimal digits, nothing else (no
// blanks, no empty text), within the range of a signed 32-bit integer.
// Anything else throws ConvertError with the text.
int StrToInt(std::string_view text);

}  // namespace tovik
