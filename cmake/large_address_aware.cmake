# cmake -DPROGRAM=file.exe -P large_address_aware.cmake: fails unless the PE header's
# Characteristics have IMAGE_FILE_LARGE_ADDRESS_AWARE (0x20); no Windows needed.
file(READ "${PROGRAM}" pointer OFFSET 60 LIMIT 4 HEX) # e_lfanew, little-endian
string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1" pointer "${pointer}")
math(EXPR header "${pointer}")
file(READ "${PROGRAM}" signature OFFSET ${header} LIMIT 4 HEX)
math(EXPR characteristics "${header} + 22") # signature 4, then Characteristics at 18
file(READ "${PROGRAM}" flags OFFSET ${characteristics} LIMIT 1 HEX)
math(EXPR aware "0x${flags} & 0x20")
if(NOT signature STREQUAL "50450000" OR aware EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} is not large-address-aware (${signature}, ${flags})")
endif()
