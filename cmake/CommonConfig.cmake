# Language level, warnings and Qt strictness for every target of the project.
option(TARNWICK_WERROR "Treat compiler warnings as errors (CI turns this on)" OFF)

add_library(tarnwick_common INTERFACE)
target_compile_features(tarnwick_common INTERFACE cxx_std_20)
target_compile_options(tarnwick_common INTERFACE -Wall -Wextra -Wshadow)
if(TARNWICK_WERROR)
  target_compile_options(tarnwick_common INTERFACE -Werror)
endif()
target_compile_definitions(tarnwick_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_KEYWORDS)

if(ENABLE_SANITIZERS)
  target_compile_options(tarnwick_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(tarnwick_common INTERFACE -fsanitize=address,undefined)
endif()
