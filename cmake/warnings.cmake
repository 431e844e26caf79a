# Warnings as errors for every target of ours, never for third-party code: the programs' build
# and the page's (web/) link their targets to qef_warnings.
add_library(qef_warnings INTERFACE)
if(MSVC)
    target_compile_options(qef_warnings INTERFACE /W4 /WX /permissive-)
else()
    target_compile_options(qef_warnings INTERFACE -Wall -Wextra -Werror)
endif()
