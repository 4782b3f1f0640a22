# Language level, warnings and Qt strictness for every target of the project.
option(TARNWICK_WERROR "Treat compiler warnings as errors (CI turns this on)" OFF)

add_library(tarnwick_compile_settings INTERFACE)
target_compile_features(tarnwick_compile_settings INTERFACE cxx_std_20)
target_compile_options(tarnwick_compile_settings INTERFACE -Wall -Wextra -Wshadow)
# -Wconversion for the targets that are clean of it, linked PRIVATE one by
# one. Clang's -Wconversion also holds -Wsign-conversion, which GCC keeps
# apart; the same set of warnings for both.
add_library(tarnwick_conversion_warnings INTERFACE)
target_compile_options(tarnwick_conversion_warnings INTERFACE
  -Wconversion $<$<CXX_COMPILER_ID:Clang>:-Wno-sign-conversion>)
if(TARNWICK_WERROR)
  target_compile_options(tarnwick_compile_settings INTERFACE -Werror)
endif()
target_compile_definitions(tarnwick_compile_settings INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_KEYWORDS)

if(ENABLE_SANITIZERS)
  target_compile_options(tarnwick_compile_settings INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(tarnwick_compile_settings INTERFACE -fsanitize=address,undefined)
endif()
