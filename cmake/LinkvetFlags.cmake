# SPDX-License-Identifier: GPL-3.0-or-later
# One interface target carries every build flag, so the libraries, programs,
# tests and benchmarks are all built the same way.
add_library(linkvet_flags INTERFACE)

target_compile_options(linkvet_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Werror)

# Every conversion between bytes and display text must be spelled out.
target_compile_definitions(linkvet_flags INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_URL_CAST_FROM_STRING)

# The hardening Debian gives its packages (dpkg-buildflags): fortified string
# and memory calls where the optimiser can check them, and read-only
# relocations resolved at start-up.
target_compile_definitions(linkvet_flags INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
target_link_options(linkvet_flags INTERFACE LINKER:-z,relro,-z,now)

if(LINKVET_SANITIZE)
  set(_linkvet_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(linkvet_flags INTERFACE ${_linkvet_san})
  target_link_options(linkvet_flags INTERFACE ${_linkvet_san})
endif()
