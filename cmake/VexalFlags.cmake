# SPDX-License-Identifier: GPL-3.0-or-later
# One interface target carries the language level, warnings and sanitizers for every target.
add_library(vexal_flags INTERFACE)
target_compile_features(vexal_flags INTERFACE cxx_std_20)
target_compile_options(vexal_flags INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(vexal_flags INTERFACE
  QT_NO_FOREACH
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_USE_QSTRINGBUILDER
  VEXAL_VERSION="${PROJECT_VERSION}")
if(VEXAL_WERROR)
  target_compile_options(vexal_flags INTERFACE -Werror)
endif()
if(VEXAL_SANITIZE)
  target_compile_options(vexal_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vexal_flags INTERFACE -fsanitize=address,undefined)
endif()
# libFuzzer (clang): coverage and sanitizers on the project's code; the fuzz targets add the fuzzer's
# main themselves (fuzz/CMakeLists.txt), so other programs of the tree still link normally.
if(VEXAL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VEXAL_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  target_compile_options(vexal_flags INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vexal_flags INTERFACE -fsanitize=address,undefined)
endif()
