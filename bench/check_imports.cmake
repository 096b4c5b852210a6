# Fails when the executable imports a DLL that is not part of Windows itself
# (a C or C++ runtime, winpthread, ...). Run with -DEXE=... -DOBJDUMP=...
cmake_minimum_required(VERSION 3.20)
set(windows_dlls
  advapi32.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll kernel32.dll
  msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll
  uxtheme.dll version.dll ws2_32.dll wsock32.dll)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed: ${status}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
set(imports "")
set(foreign "")
foreach(line IN LISTS lines)
  string(REPLACE "DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" name)
  list(APPEND imports ${name})
  # api-ms-win-* are the Universal CRT's API sets, part of Windows 10 and later.
  if(NOT name IN_LIST windows_dlls AND NOT name MATCHES "^api-ms-win-")
    list(APPEND foreign ${name})
  endif()
endforeach()
list(JOIN imports ", " shown)
message(STATUS "imports of ${EXE}: ${shown}")
if(foreign)
  list(JOIN foreign ", " bad)
  message(FATAL_ERROR "imports DLLs that are not part of Windows: ${bad}")
endif()
