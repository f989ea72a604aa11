# Writes the i686 import library of vxosd.dll. The DLL exports plain names (the .def file),
# but a host compiled against vxosd.h calls the stdcall functions by their decorated names
# (_InitVxOSD@0): the import library maps each decorated name to the plain export. A C (cdecl)
# function would keep its plain name.
# The decorated .def written on the way is the one shipped beside the DLL: other toolchains
# make their import library from it (MSVC: lib /def:vxosd.def /machine:x86 /out:vxosd.lib).
# Arguments (-D): NM, DLLTOOL, DLL, DEF (plain names), OUT (import library), WORK (the
# decorated .def).
execute_process(COMMAND ${NM} ${DLL} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} ${DLL} failed")
endif()
file(STRINGS ${DEF} lines)
set(out "; The exports of vxosd.dll with their stdcall decorations (InitVxOSD@0), for making an\n")
string(APPEND out "; import library: the DLL exports them under their plain names (InitVxOSD).\n")
string(APPEND out ";   MinGW: dlltool -d vxosd.def -l libvxosd.dll.a -k\n")
string(APPEND out ";   MSVC:  lib /def:vxosd.def /machine:x86 /out:vxosd.lib\n")
string(APPEND out "LIBRARY vxosd.dll\nEXPORTS\n")
foreach(line IN LISTS lines)
  string(STRIP "${line}" name)
  if(name STREQUAL "" OR name MATCHES "^;" OR name MATCHES "^(LIBRARY|EXPORTS)")
    continue()
  endif()
  if(symbols MATCHES " _${name}@([0-9]+)\n")
    string(APPEND out "  ${name}@${CMAKE_MATCH_1}\n")
  elseif(symbols MATCHES " _${name}\n")
    string(APPEND out "  ${name}\n")  # a C (cdecl) function
  else()
    message(FATAL_ERROR "${name}: no function of that name in ${DLL}")
  endif()
endforeach()
file(WRITE ${WORK} "${out}")
execute_process(COMMAND ${DLLTOOL} -d ${WORK} -l ${OUT} -D vxosd.dll -k RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed")
endif()
