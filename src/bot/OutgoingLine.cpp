#include "bot/OutgoingLine.h"

#include "irc/IRC.h"

namespace tovik {

std::string SealLine(std::string_view built) {
    if (!built.empty() && built.back() == '\n') built.remove_suffix(1);
    std::string line = RemoveLineBreaks(built);
    if (line.size() > kMaxLineBody) line.resize(kMaxLineBody);
    line += '\n';
    return line;
}

}  // namespace tovik
