// File names as qefdump shows them: a name holding a line break, an escape sequence or another
// character that would change what the reader sees is quoted, as GNU diff quotes it in its
// headers and as coreutils quotes it in messages; a plain name stays as it is.
#pragma once

#include <string>
#include <string_view>

// For the "---" and "+++" lines of a diff: in double quotes with C escapes ("new\nline.qef",
// "\033") when the name holds a space, a double quote, a backslash or a byte that is not
// printable ASCII.
std::string HeaderName(std::string_view name);

// For messages, in the shell's quoting: 'a b', "it's", 'new'$'\n''line.qef'. `always` quotes
// a plain name too ('in.qef'), as the usage errors quote the argument they name.
std::string MessageName(std::string_view name, bool always = false);
