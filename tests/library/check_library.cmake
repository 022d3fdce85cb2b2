cmake_minimum_required(VERSION 3.25)
# cmake -DLIBRARY=... -DDEF_FILE=... -DOBJDUMP=... -DNM=... -P check_library.cmake
# Fails unless the library's exports are exactly the .def file's names, every imported DLL is one
# of Windows' own and none of those it loads on first use, and the library is stripped.

# The names the .def file exports: the word before "=" or the first word of each line under EXPORTS.
file(STRINGS ${DEF_FILE} def_lines)
set(expected "")
set(in_exports FALSE)
foreach(line IN LISTS def_lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^EXPORTS")
    set(in_exports TRUE)
  elseif(in_exports AND line MATCHES "^([A-Za-z_][A-Za-z0-9_@]*)")
    list(APPEND expected ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT expected)

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${LIBRARY} failed")
endif()
string(REPLACE "\n" ";" dump_lines "${dump}")

set(exported "")
set(imported "")
set(in_names FALSE)
foreach(line IN LISTS dump_lines)
  if(line MATCHES "\\[Ordinal/Name Pointer\\] Table")
    set(in_names TRUE)
  elseif(in_names AND line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
    list(APPEND exported ${CMAKE_MATCH_1})
  elseif(in_names)
    set(in_names FALSE)
  endif()
  if(line MATCHES "DLL Name: (.+)$")
    string(TOUPPER "${CMAKE_MATCH_1}" dll)
    list(APPEND imported ${dll})
  endif()
endforeach()
list(SORT exported)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exports differ from ${DEF_FILE}:\n  exported: ${exported}\n  expected: ${expected}")
endif()

set(system_dlls ADVAPI32.DLL COMCTL32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL OLEAUT32.DLL
  SHELL32.DLL SHLWAPI.DLL USER32.DLL VERSION.DLL WININET.DLL WINDOWSCODECS.DLL UXTHEME.DLL
  COMDLG32.DLL BCRYPT.DLL URLMON.DLL HLINK.DLL MSIMG32.DLL ATL.DLL USP10.DLL)
foreach(dll IN LISTS imported)
  if(NOT dll IN_LIST system_dlls AND NOT dll MATCHES "^API-MS-WIN-")
    message(FATAL_ERROR "imports ${dll}, which is not a Windows system DLL")
  endif()
endforeach()

# Loaded from the system folder when a feature first needs them (an update's transfer, a download's
# check, a file dialog, a link, the banner's control): an import would load them with every browser
# process, before any of that is asked for.
set(loaded_on_first_use WININET.DLL BCRYPT.DLL COMDLG32.DLL URLMON.DLL ATL.DLL MSIMG32.DLL)
foreach(dll IN LISTS imported)
  if(dll IN_LIST loaded_on_first_use)
    message(FATAL_ERROR "imports ${dll}, which the library loads on first use only")
  endif()
endforeach()

execute_process(COMMAND ${NM} ${LIBRARY} OUTPUT_VARIABLE symbols ERROR_VARIABLE symbols_error)
if(NOT symbols_error MATCHES "no symbols")
  message(FATAL_ERROR "${LIBRARY} is not stripped: ${NM} lists symbols")
endif()
message(STATUS "exports: ${exported}; imports: ${imported}; stripped")
