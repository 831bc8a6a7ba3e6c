# Build options and warnings as interface targets that our own targets link; nothing here goes
# into the global flags, so Qt and other projects' code build as they always do.

option(TRALVO_WERROR "Treat compiler warnings as errors" OFF)
option(TRALVO_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(tralvo_options INTERFACE)
add_library(Tralvo::options ALIAS tralvo_options)
# Qt's signal and slot keywords would clash with other libraries' identifiers; Q_SIGNALS etc. only.
target_compile_definitions(tralvo_options INTERFACE QT_NO_KEYWORDS)
if(TRALVO_SANITIZE)
    target_compile_options(tralvo_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(tralvo_options INTERFACE -fsanitize=address,undefined)
endif()

# What the tests of a sanitized build (and the fuzzers) run with: stop at the first undefined
# behaviour, and reports with function names and lines where a symbolizer is installed.
set(TRALVO_SANITIZER_ENVIRONMENT UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1)
if(TRALVO_SANITIZE OR TRALVO_FUZZ)
    find_program(TRALVO_SYMBOLIZER NAMES llvm-symbolizer llvm-symbolizer-14)
    if(TRALVO_SYMBOLIZER)
        list(APPEND TRALVO_SANITIZER_ENVIRONMENT ASAN_SYMBOLIZER_PATH=${TRALVO_SYMBOLIZER})
    endif()
endif()

add_library(tralvo_warnings INTERFACE)
add_library(Tralvo::warnings ALIAS tralvo_warnings)
if(MSVC)
    target_compile_options(tralvo_warnings INTERFACE /W4 /permissive- $<$<BOOL:${TRALVO_WERROR}>:/WX>)
else()
    target_compile_options(tralvo_warnings INTERFACE
        -Wall -Wextra -Wpedantic
        -Wshadow -Wconversion -Wold-style-cast -Wnon-virtual-dtor
        -Wformat=2 -Wimplicit-fallthrough -Woverloaded-virtual -Wnull-dereference -Wcast-align
        $<$<BOOL:${TRALVO_WERROR}>:-Werror>)
endif()

# tralvo_library(<name> <sources...>): the static library tralvo_<name> (alias Tralvo::<name>)
# with the options and warnings, exporting its own folder, and nothing else, as its include
# directory.
function(tralvo_library name)
    add_library(tralvo_${name} STATIC ${ARGN})
    add_library(Tralvo::${name} ALIAS tralvo_${name})
    target_include_directories(tralvo_${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(tralvo_${name} PUBLIC Tralvo::options PRIVATE Tralvo::warnings)
endfunction()
