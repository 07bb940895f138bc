# Every target links lh_common: language level, warnings and Qt's safety defines in one place.
add_library(lh_common INTERFACE)
target_compile_features(lh_common INTERFACE cxx_std_20)
target_compile_options(lh_common INTERFACE
  -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
target_compile_definitions(lh_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_URL_CAST_FROM_STRING)
if(LINKHAULER_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES Clang)
    message(FATAL_ERROR "LINKHAULER_FUZZ needs clang's libFuzzer: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Coverage feedback from every library the fuzz targets link, not just their own files.
  target_compile_options(lh_common INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(LINKHAULER_SANITIZE OR LINKHAULER_FUZZ)
  # Any finding stops the program, so that a test or a fuzz run cannot pass over it.
  target_compile_options(lh_common INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(lh_common INTERFACE -fsanitize=address,undefined)
endif()

# Adds every subfolder of the current folder that has a CMakeLists.txt, in name order, so a
# new part needs no edit of its parent. A macro, so the parts see the caller's variables.
macro(lh_add_parts)
  file(GLOB lh_parts LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT lh_parts)
  foreach(lh_part IN LISTS lh_parts)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${lh_part}/CMakeLists.txt)
      add_subdirectory(${lh_part})
    endif()
  endforeach()
endmacro()
