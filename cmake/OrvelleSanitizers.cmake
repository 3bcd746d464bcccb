# Instrumented builds, each in a build folder of its own (scripts/sanitize.sh):
#   ORVELLE_SANITIZE=ON   AddressSanitizer and UndefinedBehaviorSanitizer on every
#                         target of ours; an undefined-behaviour report ends the
#                         program like a memory error does, so a test cannot pass
#                         over one.
#   ORVELLE_FUZZ=ON       the libFuzzer targets in fuzz/ (clang only); every
#                         target of ours carries the fuzzer's coverage counters,
#                         which programs without the fuzzer's runtime ignore.
# Qt and the other libraries stay the distribution's own builds.
option(ORVELLE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(ORVELLE_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

if(ORVELLE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(ORVELLE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "ORVELLE_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++-14)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
