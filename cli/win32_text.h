// Windows: the program keeps every name and message as UTF-8, as on Linux, and turns it to
// UTF-16 only where it meets the system: a file's name, the console.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#ifdef _WIN32
std::wstring Wide(std::string_view text);
std::string Narrow(std::wstring_view wide);
// The system's words for an error code, without the closing period and line break.
std::string SystemMessage(unsigned long code);
#endif

// `text` on `stream`: UTF-8 bytes to a file or a pipe, and on Windows UTF-16 to a console, which
// shows UTF-8 bytes in its own code page. False when writing failed.
bool WriteText(std::FILE* stream, std::string_view text);
