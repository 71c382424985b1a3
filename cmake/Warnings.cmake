# Project code builds with warnings as errors; third-party headers come in as system includes.
add_library(horalux_warnings INTERFACE)
target_compile_options(horalux_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
  -Wimplicit-fallthrough -Werror)

# Every project target links this; it also puts src/ on the include path.
add_library(horalux_defaults INTERFACE)
target_link_libraries(horalux_defaults INTERFACE horalux_warnings)
target_include_directories(horalux_defaults INTERFACE ${PROJECT_SOURCE_DIR}/src)
