#pragma once
// Typical private messages for the benchmarks: German chat lines of 5 to 200
// bytes, mixing keywords, near misses, smileys, umlauts and capitals.

#include <random>
#include <string>
#include <vector>

#include "text/Cp1252.h"
#include "text/Encoding.h"

namespace tovik::bench {

inline std::vector<std::string> ChatLines(std::size_t count, unsigned seed = 42) {
    static const char* const kWords[] = {
        "hi", "hallo", "Hallo", "na", "wie", "gehts", "geht's", "dir", "du", "bist", "hast", "ein", "pic",
        "foto", "woher", "kommst", "wo", "wohnst", "alt", "alter?", "asl?", "ich", "bin", "aus", "Berlin",
        "M\xFCnchen", "und", "was", "machst", "so", "heute", "abend", "lol", "ok", "jo", "hmm", "echt",
        "nicht", "schlecht", ":)", ";)", ":-)", ":D", "?", "!", "...", "hobbies?", "schon", "mal", "hier",
        "oft", "chattest", "gerne", "musik", "film", "kino", "arbeit", "schule", "wieso", "warum", "verstehst",
        "dumm", "spinnst", "S\xFC\xDF" "e", "gr\xF6\xDF" "e", "sch\xF6n", "TSCH\xDC" "SS", "bye", "cu",
        "kg?", "deutsch?", "xD", "haha", "willst", "mich", "kennen", "lernen", "wetter", "regen", "sonne",
        "fussball", "spiel", "gestern", "morgen", "vielleicht", "egal", "klar", "alles", "gut", "danke",
    };
    std::mt19937 rng(seed);
    std::uniform_int_distribution<std::size_t> length(5, 200);
    std::uniform_int_distribution<std::size_t> word(0, std::size(kWords) - 1);
    std::vector<std::string> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        // Most chat lines are short: take the shorter of two draws.
        const std::size_t target = std::min(length(rng), length(rng));
        std::string line;
        while (line.size() < target) {
            if (!line.empty()) line += ' ';
            line += kWords[word(rng)];
        }
        if (line.size() > 200) line.resize(200);
        lines.push_back(std::move(line));
    }
    return lines;
}

// The same lines as two kinds of client send them: every second line from a
// UTF-8 client, with at least one umlaut so that it really is UTF-8 on the
// wire, the others from a Windows-1252 client (some of them pure ASCII).
inline std::vector<std::string> MixedClientLines(std::size_t count, unsigned seed = 42) {
    auto lines = ChatLines(count, seed);
    for (std::size_t i = 1; i < lines.size(); i += 2) {
        std::string utf8 = Cp1252ToUtf8(lines[i]);
        if (RecogniseEncoding(utf8) != TextEncoding::Utf8) utf8 += " sch\xC3\xB6n";
        lines[i] = std::string(CutUtf8(utf8, 200));
    }
    return lines;
}

}  // namespace tovik::bench
