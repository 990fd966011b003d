# Reads the dynamic tables of the built kryptaj library with objdump and fails unless:
# - on 32-bit Windows (WINDOWS true), kryptaj.dll exports exactly
#   Java_com_talun_pelmor_claves_Kryptaj_zkdes and imports from zifrakit.dll only ordinal 5,
#   by ordinal, with no name;
# - on Linux, libkryptaj.so defines exactly that one dynamic symbol, leaves ZKDES undefined
#   and needs libzifrakit.so.
# Usage: cmake -DLIBRARY=<file> -DOBJDUMP=<objdump> -DWINDOWS=<bool> -P check_binding.cmake
set(jni_name Java_com_talun_pelmor_claves_Kryptaj_zkdes)

function(fail what)
  message(FATAL_ERROR "${LIBRARY}: ${what}\n--- objdump output ---\n${dump}")
endfunction()

if(WINDOWS)
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    fail("objdump failed")
  endif()

  # The import table: one block per DLL, "DLL Name: x" followed by its entries, each
  # "<vma> <hint or ordinal> <name>", with "<none>" in place of a name for an ordinal import.
  string(REGEX MATCH "DLL Name: zifrakit\\.dll\n[^\n]*\n(([^\n]+\n)*)" block "${dump}")
  if(NOT block)
    fail("no imports from zifrakit.dll")
  endif()
  string(REGEX MATCHALL "\n\t[0-9a-f]+[ \t]+[0-9]+[ \t]+[^\n]*" entries "\n${CMAKE_MATCH_1}")
  list(LENGTH entries count)
  if(NOT count EQUAL 1)
    fail("expected one import from zifrakit.dll, found ${count}: ${entries}")
  endif()
  if(NOT entries MATCHES "^\n\t[0-9a-f]+[ \t]+5[ \t]+<none>$")
    fail("the import from zifrakit.dll is not ordinal 5 without a name: ${entries}")
  endif()

  # The export table: one "Export RVA" line per exported address, and the name table,
  # "[Ordinal/Name Pointer] Table" followed by one "[ n] name" line per name.
  string(REGEX MATCHALL "Export RVA" addresses "${dump}")
  list(LENGTH addresses count)
  if(NOT count EQUAL 1)
    fail("expected one exported address, found ${count}")
  endif()
  if(NOT dump MATCHES "\\[Ordinal/Name Pointer\\] Table\n((\t\\[ *[0-9]+\\] [^\n]+\n)*)")
    fail("no export name table")
  endif()
  if(NOT CMAKE_MATCH_1 MATCHES "^\t\\[ *[0-9]+\\] ${jni_name}\n$")
    fail("the exported names are not exactly ${jni_name}: ${CMAKE_MATCH_1}")
  endif()
else()
  execute_process(COMMAND ${OBJDUMP} -T ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    fail("objdump -T failed")
  endif()
  # Dynamic symbol lines end in the symbol's name; defined ones carry a section name
  # other than *UND*.
  string(REGEX MATCHALL "[^\n]*\\.text[^\n]* [A-Za-z_][A-Za-z0-9_]*\n" defined "${dump}")
  if(NOT defined MATCHES "^[^\n]* ${jni_name}\n$")
    fail("the defined dynamic symbols are not exactly ${jni_name}")
  endif()
  string(REGEX MATCHALL "[^\n]*\\.(data|bss|rodata)[^\n]* [A-Za-z_][A-Za-z0-9_]*\n" objects "${dump}")
  if(objects)
    fail("data symbols are exported: ${objects}")
  endif()
  if(NOT dump MATCHES "\\*UND\\*[^\n]* ZKDES\n")
    fail("ZKDES is not left to the loader")
  endif()
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT dump MATCHES "NEEDED +libzifrakit\\.so\n")
    fail("libzifrakit.so is not a load-time dependency")
  endif()
endif()
