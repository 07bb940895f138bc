# Every target links lh_common: language level, warnings and Qt's safety defines in one place.
add_library(lh_common INTERFACE)
target_compile_features(lh_common INTERFACE cxx_std_20)
target_compile_options(lh_common INTERFACE
  -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
target_compile_definitions(lh_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_URL_CAST_FROM_STRING)
if(LINKHAULER_SANITIZE)
  target_compile_options(lh_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(lh_common INTERFACE -fsanitize=address,undefined)
endif()
