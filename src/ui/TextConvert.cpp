#include "ui/TextConvert.h"

#include <array>

#include "text/Cp1252.h"

namespace tovik {
namespace {

// One UTF-16 unit per byte, taken from the core's own table so that the GUI
// and the core can never disagree about a character. The log view converts
// every received line, so this is a table lookup rather than a UTF-8 detour.
std::array<char16_t, 256> MakeTable() {
    std::array<char16_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const QString one = QString::fromUtf8(Cp1252ToUtf8(std::string_view(&byte, 1)));
        table[b] = one.isEmpty() ? u'?' : one.at(0).unicode();
    }
    return table;
}

const std::array<char16_t, 256>& Table() {
    static const std::array<char16_t, 256> table = MakeTable();
    return table;
}

}  // namespace

QString ToQt(std::string_view cp1252) {
    const auto& table = Table();
    QString out(static_cast<qsizetype>(cp1252.size()), Qt::Uninitialized);
    QChar* dst = out.data();
    for (std::size_t i = 0; i < cp1252.size(); ++i)
        dst[i] = QChar(table[static_cast<unsigned char>(cp1252[i])]);
    return out;
}

std::string FromQt(const QString& text) {
    // Pure Latin-1 below 0x80 or in 0xA0-0xFF maps byte for byte; only the
    // rest needs the core's table.
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out += static_cast<char>(u);
        } else {
            return Utf8ToCp1252(text.toUtf8().toStdString());
        }
    }
    return out;
}

}  // namespace tovik
