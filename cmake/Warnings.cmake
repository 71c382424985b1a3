# Project code builds with many warnings; third-party headers come in as system includes. They are
# errors only with HORALUX_WERROR (the test command's builds), so that a user's or packager's build
# with another compiler never fails on a warning that compiler adds.
add_library(horalux_warnings INTERFACE)
target_compile_options(horalux_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
  -Wimplicit-fallthrough)
if(HORALUX_WERROR)
  target_compile_options(horalux_warnings INTERFACE -Werror)
endif()
# GCC 12 reports out-of-bounds reads and writes inside inlined standard-library code that no
# program path reaches (its own known false alarms at -O2 and above); they say nothing about ours.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(horalux_warnings INTERFACE
    -Wno-array-bounds -Wno-stringop-overread -Wno-stringop-overflow -Wno-restrict)
endif()

# Every project target links this; it also puts src/ on the include path.
add_library(horalux_defaults INTERFACE)
target_link_libraries(horalux_defaults INTERFACE horalux_warnings)
target_include_directories(horalux_defaults INTERFACE ${PROJECT_SOURCE_DIR}/src)
