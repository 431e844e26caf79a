#include "dump/line_kernel.h"

#include <cstring>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#define QEF_CPUID_MSVC 1
#elif defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define QEF_CPUID_GNU 1
#endif

namespace {

void WriteDataColumnsPlain(char* lines, const unsigned char* bytes, size_t count) {
    for (; count > 0; --count, lines += DumpLineLength, bytes += BytesPerLine)
        WriteLineData(lines, bytes, BytesPerLine);
}

// CPUID leaf 1, ECX bit 9. CPUID is slow under a hypervisor, so it is asked once per process.
bool CpuHasSsse3() {
    static const bool has = [] {
        [[maybe_unused]] constexpr unsigned Ssse3Bit = 1u << 9;
#if defined(QEF_CPUID_MSVC)
        int registers[4] = {};
        __cpuid(registers, 0);
        if (registers[0] < 1)
            return false;
        __cpuid(registers, 1);
        return (unsigned(registers[2]) & Ssse3Bit) != 0;
#elif defined(QEF_CPUID_GNU)
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & Ssse3Bit) != 0;
#else
        return false;
#endif
    }();
    return has;
}

} // namespace

DataColumnWriter FindDataColumnWriter(LineKernel kernel) {
    switch (kernel) {
    case LINE_KERNEL_PLAIN:
        return WriteDataColumnsPlain;
    case LINE_KERNEL_SSSE3:
        return CpuHasSsse3() ? Ssse3DataColumnWriter() : nullptr;
    }
    return nullptr;
}

DataColumnWriter BestDataColumnWriter() {
    DataColumnWriter ssse3 = FindDataColumnWriter(LINE_KERNEL_SSSE3);
    return ssse3 ? ssse3 : FindDataColumnWriter(LINE_KERNEL_PLAIN);
}
