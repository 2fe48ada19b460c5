#include "bot/OutgoingLine.h"

namespace tovik {

std::string RemoveLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n' && c != '\0') out += c;
    return out;
}

std::string SealLine(std::string_view built) {
    if (!built.empty() && built.back() == '\n') built.remove_suffix(1);
    std::string line = RemoveLineBreaks(built);
    if (line.size() > kMaxLineBody) line.resize(kMaxLineBody);
    line += '\n';
    return line;
}

}  // namespace tovik
