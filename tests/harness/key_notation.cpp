#include "harness/key_notation.h"

#include <cstdio>
#include <map>
#include <stdexcept>

#include "harness/keys.h"

static std::string named_key(const std::string& name)
{
    static const std::map<std::string, std::string> names = {
        {"Enter", "\r"}, {"Tab", "\t"}, {"BS", "\x7f"}, {"Space", " "}, {"lt", "<"},
        {"Up", key_bytes(Key::Up)}, {"Down", key_bytes(Key::Down)},
        {"Left", key_bytes(Key::Left)}, {"Right", key_bytes(Key::Right)},
        {"Home", key_bytes(Key::Home)}, {"End", key_bytes(Key::End)},
        {"PgUp", key_bytes(Key::PageUp)}, {"PgDn", key_bytes(Key::PageDown)},
        {"Ins", key_bytes(Key::Insert)}, {"Del", key_bytes(Key::Delete)},
        {"F1", key_bytes(Key::F1)}, {"Paste", "\x1b[200~"}, {"/Paste", "\x1b[201~"},
    };
    auto found = names.find(name);
    if (found != names.end())
        return found->second;
    if (name.size() == 3 && name[0] == 'C' && name[1] == '-' && name[2] >= '@' && name[2] <= 'z')
        return std::string(1, char(name[2] & 0x1F));
    if (name.size() == 3 && name[0] == 'x')
        return std::string(1, char(std::stoi(name.substr(1), nullptr, 16)));
    throw std::invalid_argument("unknown key <" + name + ">");
}

std::vector<KeyPiece> parse_key_notation(const std::string& notation)
{
    std::vector<KeyPiece> pieces(1);
    for (size_t i = 0; i < notation.size(); i++) {
        char c = notation[i];
        if (c == '\n' || c == '\r')
            continue;
        size_t close = notation.find('>', i);
        if (c != '<' || close == std::string::npos) {
            pieces.back().bytes += c;
            continue;
        }
        std::string name = notation.substr(i + 1, close - i - 1);
        i = close;
        int cols, rows;
        if (name == "Esc") {
            pieces.push_back({"\x1b", true});
            pieces.emplace_back();
        } else if (sscanf(name.c_str(), "Resize %dx%d", &cols, &rows) == 2) {
            pieces.back().cols = cols;
            pieces.back().rows = rows;
            pieces.emplace_back();
        } else {
            pieces.back().bytes += named_key(name);
        }
    }
    return pieces;
}
