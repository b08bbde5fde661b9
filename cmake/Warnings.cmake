# Every target of ours gets the same strict warnings; third-party code does not.
function(pinvoro_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wconversion -Wno-sign-conversion $<$<BOOL:${PINVORO_WERROR}>:-Werror>)
endfunction()

option(PINVORO_WERROR "Treat warnings as errors" ON)
