# SPDX-License-Identifier: GPL-3.0-or-later
# Compiler settings shared by every target of the project, carried by an
# interface library so that nothing is set globally.
add_library(zorv_options INTERFACE)
# Headers are included by their path from the project root ("dsp/zorv_calc.h").
target_include_directories(zorv_options INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(zorv_options INTERFACE -Wall -Wextra -Wpedantic)
if(EMSCRIPTEN)
  # WebAssembly's 128-bit vectors for the lane kernels (every browser of the
  # last years and Node run them): two doubles an instruction, the same
  # IEEE operations as one at a time.
  target_compile_options(zorv_options INTERFACE -msimd128)
endif()
if(NOT ZORV_REFERENCE_ARITHMETIC)
  target_compile_definitions(zorv_options INTERFACE ZORV_NO_EXTENDED)
endif()
if(ZORV_WERROR)
  target_compile_options(zorv_options INTERFACE -Werror)
endif()
if(ZORV_SANITIZE_THREAD)
  target_compile_options(zorv_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(zorv_options INTERFACE -fsanitize=thread)
endif()
if(ZORV_SANITIZE)
  target_compile_options(zorv_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(zorv_options INTERFACE -fsanitize=address,undefined)
endif()

# The decoder's arithmetic is part of its contract: values are rounded exactly
# where the code stores them, so the compiler must not fuse a multiply and an
# add, nor reorder floating-point expressions.
add_library(zorv_exact_math INTERFACE)
target_compile_options(zorv_exact_math INTERFACE -ffp-contract=off -fno-fast-math)

# The program's version, declared once in project() above: the three numbers
# every document shows, and the licence that every program names.
set(ZORV_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(ZORV_LICENSE GPL-3.0-or-later)
string(SUBSTRING ${ZORV_RELEASE_DATE} 0 4 ZORV_RELEASE_YEAR)
configure_file(${PROJECT_SOURCE_DIR}/cmake/zorv_version.h.in
               ${PROJECT_BINARY_DIR}/generated/zorv_version.h @ONLY)
add_library(zorv_version INTERFACE)
target_include_directories(zorv_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

include(${CMAKE_CURRENT_LIST_DIR}/ManualPage.cmake)
