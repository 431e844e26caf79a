#include "cli/quote.h"

#include "dump/utf8.h"

namespace {

constexpr std::string_view ShellSpecial = " !\"$&'()*:;<=>?[\\^`|";
constexpr std::string_view LetterEscapes = "\aa\bb\ff\nn\rr\tt\vv"; // the byte, then its letter

bool IsPrintableAscii(unsigned char byte) {
    return byte >= 0x20 && byte < 0x7F;
}

// "\n" for a byte C writes with a letter, "\033" for any other.
void AppendEscape(std::string& text, unsigned char byte) {
    text += '\\';
    size_t letter = LetterEscapes.find(char(byte));
    if (byte != 0 && letter != std::string_view::npos && letter % 2 == 0) {
        text += LetterEscapes[letter + 1];
        return;
    }
    text += char('0' + (byte >> 6));
    text += char('0' + (byte >> 3 & 7));
    text += char('0' + (byte & 7));
}

// How many bytes from `at` form one printable character: an ASCII one, or a well-formed UTF-8
// sequence past the C1 controls; 0 when the byte there is a control or stands alone.
size_t PrintableAt(std::string_view name, size_t at) {
    auto lead = (unsigned char)name[at];
    if (lead < 0x80)
        return IsPrintableAscii(lead) ? 1 : 0;
    bool c1 = lead == 0xC2 && at + 1 < name.size() && (unsigned char)name[at + 1] < 0xA0;
    return c1 ? 0 : Utf8Length(name, at);
}

} // namespace

std::string HeaderName(std::string_view name) {
    bool quote = false;
    for (char c : name)
        quote = quote || c == ' ' || c == '"' || c == '\\' || !IsPrintableAscii((unsigned char)c);
    if (!quote)
        return std::string(name);
    std::string text = "\"";
    for (char c : name) {
        if (c == '"' || c == '\\')
            text += '\\';
        if (IsPrintableAscii((unsigned char)c))
            text += c;
        else
            AppendEscape(text, (unsigned char)c);
    }
    return text + '"';
}

std::string MessageName(std::string_view name, bool always) {
    bool special = name.empty() || name[0] == '#' || name[0] == '~';
    bool unprintable = false, singleQuote = false, doubleQuoteUnsafe = false;
    for (size_t at = 0; at < name.size();) {
        size_t length = PrintableAt(name, at);
        char c = name[at];
        unprintable = unprintable || length == 0;
        special = special || ShellSpecial.find(c) != std::string_view::npos;
        singleQuote = singleQuote || c == '\'';
        doubleQuoteUnsafe =
            doubleQuoteUnsafe || std::string_view("\"$\\`!").find(c) != std::string_view::npos;
        at += length ? length : 1;
    }
    if (!special && !unprintable && !always)
        return std::string(name);
    if (singleQuote && !unprintable && !doubleQuoteUnsafe)
        return '"' + std::string(name) + '"';
    // In single quotes, a single quote as '\'' and a run of unprintable bytes as $'\001'.
    std::string text = "'";
    bool open = true;
    for (size_t at = 0; at < name.size();) {
        size_t length = PrintableAt(name, at);
        if (length == 0) {
            text += open ? "'$'" : "$'";
            for (; at < name.size() && PrintableAt(name, at) == 0; ++at)
                AppendEscape(text, (unsigned char)name[at]);
            text += '\'';
            open = false;
            continue;
        }
        if (name[at] == '\'') {
            text += open ? "'\\''" : "\\'"; // the quotes stay as they were
        } else {
            if (!open)
                text += '\'';
            open = true;
            text.append(name, at, length);
        }
        at += length;
    }
    return open ? text + '\'' : text;
}
