#include "bot/link/OutgoingLine.h"

#include "irc/IRC.h"
#include "text/Encoding.h"

namespace tovik {

std::string SealLine(std::string_view built, Charset charset) {
    if (!built.empty() && built.back() == '\n') built.remove_suffix(1);
    std::string line = RemoveLineBreaks(built);
    if (line.size() > kMaxLineBody)
        line.resize(charset == Charset::Utf8 ? Utf8CutLength(line, kMaxLineBody) : kMaxLineBody);
    line += '\n';
    return line;
}

}  // namespace tovik
