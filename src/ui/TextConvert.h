#pragma once
// The GUI edge: the core speaks Windows-1252 bytes, Qt speaks UTF-16. Every
// text that enters or leaves a widget goes through these two calls, so an
// umlaut shows as itself and a typed umlaut is stored as one byte.

#include <QString>
#include <string>
#include <string_view>

namespace tovik {

QString ToQt(std::string_view cp1252);
// Characters without a Windows-1252 byte become '?'.
std::string FromQt(const QString& text);

}  // namespace tovik
