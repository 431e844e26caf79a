#include "cli/win32_text.h"

#ifdef _WIN32
#include <algorithm>
#include <cstring>
#include <io.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

std::wstring Wide(std::string_view text) {
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(std::max(length, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::string Narrow(std::wstring_view wide) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr,
                                     nullptr);
    std::string text(size_t(std::max(length, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), text.data(), length, nullptr,
                        nullptr);
    return text;
}

std::string SystemMessage(unsigned long code) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length ? Narrow({text, length}) : "system error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && std::strchr(" .\r\n", message.back()))
        message.pop_back(); // as the other messages end: no period, no line break
    return message;
}

bool WriteText(std::FILE* stream, std::string_view text) {
    HANDLE handle = HANDLE(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode))
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    std::fflush(stream);
    std::wstring wide = Wide(text);
    DWORD written = 0;
    return WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr) != 0;
}
#else
bool WriteText(std::FILE* stream, std::string_view text) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}
#endif
